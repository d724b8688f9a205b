// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include "platform/registrystorage.h"

#include <functional>
#include <map>
#include <set>

namespace ocula {

class Hive;

// A registry kept in plain text files, one per root key ("HKEY_CURRENT_USER.conf", ...), in
// one directory. Every operation reads the file afresh and nothing stays open between calls;
// every change is a locked read-modify-write that replaces the file atomically, so readers
// always see a whole file. A file that is partly unreadable is used as far as it can be read
// and copied aside before a change replaces it.
class FileHiveStorage final : public RegistryStorage {
public:
    // Largest hive file that is read or written; anything beyond it is treated as damage.
    static constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

    explicit FileHiveStorage(QString directory = defaultDirectory());

    // "<user configuration directory>/ocula".
    static QString defaultDirectory();
    QString directory() const { return m_directory; }
    // Empty for RootKey::None.
    QString hiveFilePath(RootKey root) const;

    std::optional<Key> openKey(RootKey root, const QString& subKey, Access access) override;
    std::optional<Key> createKey(RootKey root, const QString& subKey) override;
    std::optional<int32_t> queryValue(Key key, const QString& name) override;
    bool setValue(Key key, const QString& name, int32_t value) override;
    void closeKey(Key key) override;

private:
    enum class FileState { Missing, Intact, Damaged, Unreadable };
    enum class Edit { Abort, Unchanged, Changed };
    struct OpenKey {
        RootKey root;
        QString path;
        bool writable;
    };

    FileState load(RootKey root, Hive& hive) const;
    bool modify(RootKey root, const std::function<Edit(Hive&)>& edit);
    Key registerKey(RootKey root, const QString& path, bool writable);
    void removeLeftovers(RootKey root);

    QString m_directory;
    std::map<Key, OpenKey> m_open;
    // Hives already looked at for what killed writers left behind, once per store.
    std::set<RootKey> m_leftoversChecked;
    Key m_nextKey = 1;
};

} // namespace ocula
