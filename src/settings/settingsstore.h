// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace ocula {

class frmMain;
class RegistryStorage;
class RegValue;

// What persists between runs, where, its first-run value and how it reaches the window.
namespace settings {

extern const QString kMachineKey;
extern const QString kUserKey;
extern const QString kOptionsKey;
constexpr int32_t kSettingsVersion = 30;

enum class Where { Machine, User, Options };

struct PersistedValue {
    const char* name;
    Where where;
    // The value written on a first run (colours resolved then, window size in twips).
    int32_t (*firstRun)();
    // Applies a stored value; an unreadable one ("ERROR") leaves the target as it is.
    // Null for the values that the load sequence handles itself.
    void (*apply)(frmMain& window, const RegValue& value);
    // The current value as it is saved; null for values the program never writes back.
    int32_t (*current)(const frmMain& window);
};

// Every persisted value, in the order a first run writes them.
const std::vector<PersistedValue>& persistedValues();

// A system colour reference as the plain colour it stands for now; others unchanged.
int32_t TranslateColor(int32_t color);

// First-run and version initialisation of the stored keys; true when it wrote the
// first-run values.
bool InitSettings(RegistryStorage& registry);
// Reads every value and applies it to the window, its magnifier and the shared flags.
void LoadSettings(frmMain& window, RegistryStorage& registry);
// Writes the window rectangle (unless minimized) and every setting back.
void SaveSettings(frmMain& window, RegistryStorage& registry);

} // namespace settings
} // namespace ocula
