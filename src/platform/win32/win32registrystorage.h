// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/registrystorage.h"

namespace ocula {

// The Windows registry through its single-byte functions (RegOpenKeyExA and kin); names cross in
// the system's ANSI code page.
class Win32RegistryStorage final : public RegistryStorage {
public:
    std::optional<Key> openKey(RootKey root, const QString& subKey, Access access) override;
    std::optional<Key> createKey(RootKey root, const QString& subKey) override;
    std::optional<int32_t> queryValue(Key key, const QString& name) override;
    bool setValue(Key key, const QString& name, int32_t value) override;
    void closeKey(Key key) override;
};

} // namespace ocula
