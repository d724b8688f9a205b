// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/registrystorage.h"
#include "settings/regvalue.h"

#include <QString>

#include <cstdint>

namespace ocula {

// Registry access by full key path ("HKEY_CURRENT_USER\Software\Tarnwick\Ocula"). Every
// operation opens, uses and closes its key on `storage` and keeps nothing open.
namespace mRegistry {

// True if the key can be opened for reading.
bool KeyExists(RegistryStorage& storage, QString path);
// True if the key exists afterwards, created with its parents or already there.
bool CreateKey(RegistryStorage& storage, QString path);
// The value as a 32-bit integer; an error if the key or value cannot be read; empty if the
// path is malformed or names an unknown root.
RegValue GetKeyValue(RegistryStorage& storage, QString path, const QString& name);
// Writes a 32-bit value into an existing key; never creates the key.
bool SetKeyValue(RegistryStorage& storage, QString path, const QString& name, int32_t value);

// Splits a full path into its root and subkey. A path must start with exactly "HKEY_" and must
// not end in a backslash; otherwise both arguments are left alone. On success `path` becomes
// the part after the first backslash (empty if there is none) and `root` the root named before
// it, which is RootKey::None for a name that is not one of the seven.
void ParseKeyPath(QString& path, RootKey& root);
// The root with exactly this name, or RootKey::None.
RootKey GetRootKey(const QString& name);

} // namespace mRegistry

} // namespace ocula
