// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/win32/win32registrystorage.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace ocula {

namespace {

HKEY rootHandle(RootKey root) {
    switch (root) {
    case RootKey::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser:
        return HKEY_CURRENT_USER;
    case RootKey::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RootKey::Users:
        return HKEY_USERS;
    case RootKey::PerformanceData:
        return HKEY_PERFORMANCE_DATA;
    case RootKey::CurrentConfig:
        return HKEY_CURRENT_CONFIG;
    case RootKey::DynData:
        return HKEY_DYN_DATA;
    case RootKey::None:
        break;
    }
    return nullptr;
}

HKEY toHkey(RegistryStorage::Key key) {
    return reinterpret_cast<HKEY>(key);
}

RegistryStorage::Key fromHkey(HKEY key) {
    return reinterpret_cast<RegistryStorage::Key>(key);
}

} // namespace

std::optional<RegistryStorage::Key>
Win32RegistryStorage::openKey(RootKey root, const QString& subKey, Access access) {
    const HKEY parent = rootHandle(root);
    if (!parent)
        return std::nullopt;
    const QByteArray path = subKey.toLocal8Bit();
    const REGSAM sam = access == Access::Read ? KEY_READ : KEY_WRITE;
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.constData(), 0, sam, &key) != ERROR_SUCCESS)
        return std::nullopt;
    return fromHkey(key);
}

std::optional<RegistryStorage::Key> Win32RegistryStorage::createKey(RootKey root,
                                                                    const QString& subKey) {
    const HKEY parent = rootHandle(root);
    if (!parent)
        return std::nullopt;
    const QByteArray path = subKey.toLocal8Bit();
    HKEY key = nullptr;
    if (RegCreateKeyA(parent, path.constData(), &key) != ERROR_SUCCESS)
        return std::nullopt;
    return fromHkey(key);
}

std::optional<int32_t> Win32RegistryStorage::queryValue(Key key, const QString& name) {
    const QByteArray valueName = name.toLocal8Bit();
    // Shorter data fills the low bytes of a zeroed buffer; longer data fails with
    // ERROR_MORE_DATA.
    BYTE data[4] = {0, 0, 0, 0};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(toHkey(key), valueName.constData(), nullptr, &type, data, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const uint32_t bits = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                          uint32_t(data[3]) << 24;
    return static_cast<int32_t>(bits);
}

bool Win32RegistryStorage::setValue(Key key, const QString& name, int32_t value) {
    const QByteArray valueName = name.toLocal8Bit();
    const DWORD data = static_cast<DWORD>(value);
    return RegSetValueExA(toHkey(key), valueName.constData(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

void Win32RegistryStorage::closeKey(Key key) {
    RegCloseKey(toHkey(key));
}

} // namespace ocula
