// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace ocula {

// The keys and 32-bit values of one registry root, as held in a hive file. Key paths are
// relative to the root ("" is the root itself); key and value names compare without regard
// to case and keep the spelling they were created with.
class Hive {
public:
    // Reads a hive file's text. Lines that cannot be read are skipped and make `damaged`
    // true, as do text that is not UTF-8 and a missing final line break; everything else is
    // kept.
    static Hive parse(const QByteArray& text, bool* damaged = nullptr);
    // The text of a hive file; `rootName` goes into its header comment.
    QByteArray serialize(const QString& rootName) const;

    // Whether a path can name a key: components separated by single backslashes, none empty,
    // none with control characters. The empty path (the root) is valid.
    static bool isValidKeyPath(const QString& path);
    static bool isValidValueName(const QString& name);

    bool hasKey(const QString& path) const;
    // Adds a key and its missing parents; false for an invalid path.
    bool addKey(const QString& path);
    std::optional<int32_t> value(const QString& keyPath, const QString& name) const;
    // Creates or replaces a value of an existing key; false if the key is missing or the name
    // invalid.
    bool setValue(const QString& keyPath, const QString& name, int32_t data);

    bool operator==(const Hive& other) const;

private:
    struct Value {
        QString name;
        int32_t data = 0;
    };
    struct Key {
        QString path;
        // In the order they were added, which is the order in the file.
        std::vector<Value> values;
        // Case-folded name -> position in `values`.
        std::map<QString, size_t> index;

        Value* find(const QString& foldedName);
        const Value* find(const QString& foldedName) const;
    };

    static QString fold(const QString& s) { return s.toCaseFolded(); }
    Key* findKey(const QString& path);
    const Key* findKey(const QString& path) const;

    // By case-folded path, so that parents come before their children in the file.
    std::map<QString, Key> m_keys;
};

} // namespace ocula
