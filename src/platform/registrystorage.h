// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace ocula {

// The predefined root keys, with the numeric handles the Windows registry publishes for them.
enum class RootKey : uint32_t {
    None = 0,
    ClassesRoot = 0x80000000,
    CurrentUser = 0x80000001,
    LocalMachine = 0x80000002,
    Users = 0x80000003,
    PerformanceData = 0x80000004,
    CurrentConfig = 0x80000005,
    DynData = 0x80000006,
};

struct RootKeyName {
    QLatin1StringView name;
    RootKey root;
};

// In the order in which root names are matched.
inline constexpr std::array<RootKeyName, 7> RootKeyNames = {{
    {QLatin1StringView("HKEY_CLASSES_ROOT"), RootKey::ClassesRoot},
    {QLatin1StringView("HKEY_CURRENT_USER"), RootKey::CurrentUser},
    {QLatin1StringView("HKEY_LOCAL_MACHINE"), RootKey::LocalMachine},
    {QLatin1StringView("HKEY_USERS"), RootKey::Users},
    {QLatin1StringView("HKEY_PERFORMANCE_DATA"), RootKey::PerformanceData},
    {QLatin1StringView("HKEY_CURRENT_CONFIG"), RootKey::CurrentConfig},
    {QLatin1StringView("HKEY_DYN_DATA"), RootKey::DynData},
}};

// The name of a predefined root, or an empty string for RootKey::None and unknown values.
QString rootKeyName(RootKey root);

// The five registry operations that mRegistry is built on, shaped like RegOpenKeyExA,
// RegCreateKeyA, RegQueryValueExA, RegSetValueExA and RegCloseKey. Subkey paths use
// backslashes; an empty subkey names the root itself. Every key returned by openKey or
// createKey must be given back with closeKey (ScopedRegKey does that).
class RegistryStorage {
public:
    using Key = std::uintptr_t;
    enum class Access { Read, Write };

    virtual ~RegistryStorage() = default;

    // Opens an existing key; never creates one.
    virtual std::optional<Key> openKey(RootKey root, const QString& subKey, Access access) = 0;
    // Opens a key for reading and writing, creating it and any missing parents first.
    virtual std::optional<Key> createKey(RootKey root, const QString& subKey) = 0;
    // Reads at most 4 bytes of a value as a little-endian signed integer (shorter data leaves
    // the high bytes zero). Fails when the value is missing or longer than 4 bytes.
    virtual std::optional<int32_t> queryValue(Key key, const QString& name) = 0;
    // Writes a REG_DWORD value, creating or replacing it. Needs a key opened for writing.
    virtual bool setValue(Key key, const QString& name, int32_t value) = 0;
    virtual void closeKey(Key key) = 0;
};

// Closes an open key when it goes out of scope.
class ScopedRegKey {
public:
    ScopedRegKey(RegistryStorage& storage, RegistryStorage::Key key)
        : m_storage(storage), m_key(key) {}
    ~ScopedRegKey() { m_storage.closeKey(m_key); }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    RegistryStorage::Key key() const { return m_key; }

private:
    RegistryStorage& m_storage;
    RegistryStorage::Key m_key;
};

// The platform's registry: the system registry on Windows, a FileHiveStorage in the user's
// configuration directory elsewhere.
std::unique_ptr<RegistryStorage> createRegistryStorage();

} // namespace ocula
