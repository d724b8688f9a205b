// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "settings/mregistry.h"

namespace ocula::mRegistry {

void ParseKeyPath(QString& path, RootKey& root) {
    if (!path.startsWith(QLatin1StringView("HKEY_")) || path.endsWith(u'\\'))
        return;
    const qsizetype slash = path.indexOf(u'\\');
    if (slash >= 0) {
        root = GetRootKey(path.left(slash));
        path = path.mid(slash + 1);
    } else {
        root = GetRootKey(path);
        path.clear();
    }
}

RootKey GetRootKey(const QString& name) {
    for (const RootKeyName& entry : RootKeyNames) {
        if (name == entry.name)
            return entry.root;
    }
    return RootKey::None;
}

bool KeyExists(RegistryStorage& storage, QString path) {
    RootKey root = RootKey::None;
    ParseKeyPath(path, root);
    if (root == RootKey::None)
        return false;
    const auto key = storage.openKey(root, path, RegistryStorage::Access::Read);
    if (!key)
        return false;
    storage.closeKey(*key);
    return true;
}

bool CreateKey(RegistryStorage& storage, QString path) {
    RootKey root = RootKey::None;
    ParseKeyPath(path, root);
    if (root == RootKey::None)
        return false;
    const auto key = storage.createKey(root, path);
    if (!key)
        return false;
    storage.closeKey(*key);
    return true;
}

RegValue GetKeyValue(RegistryStorage& storage, QString path, const QString& name) {
    RootKey root = RootKey::None;
    ParseKeyPath(path, root);
    if (root == RootKey::None)
        return RegValue();
    const auto key = storage.openKey(root, path, RegistryStorage::Access::Read);
    if (!key)
        return RegValue::error();
    const ScopedRegKey open(storage, *key);
    const std::optional<int32_t> value = storage.queryValue(open.key(), name);
    return value ? RegValue::integer(*value) : RegValue::error();
}

bool SetKeyValue(RegistryStorage& storage, QString path, const QString& name, int32_t value) {
    RootKey root = RootKey::None;
    ParseKeyPath(path, root);
    if (root == RootKey::None)
        return false;
    const auto key = storage.openKey(root, path, RegistryStorage::Access::Write);
    if (!key)
        return false;
    const ScopedRegKey open(storage, *key);
    return storage.setValue(open.key(), name, value);
}

} // namespace ocula::mRegistry
