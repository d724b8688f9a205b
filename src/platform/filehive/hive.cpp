// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/filehive/hive.h"

#include <QStringDecoder>
#include <QStringList>

namespace ocula {

namespace {

bool isControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool hasControl(QStringView s) {
    for (QChar c : s) {
        if (isControl(c))
            return true;
    }
    return false;
}

// Strict decimal: optional sign, digits, nothing else, within 32 bits. Written out by hand
// because the library conversions accept more (whitespace, other bases) than a reader of
// the file would expect.
std::optional<int32_t> parseDecimal(QStringView text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return std::nullopt;
    return int32_t(value);
}

struct ValueLine {
    QString name;
    int32_t data;
};

// `"Name"=123` with \" and \\ escapes inside the quotes, or `Name=123` as a person might
// type it. Spaces around the '=' are allowed.
std::optional<ValueLine> parseValueLine(QStringView line) {
    QString name;
    QStringView rest;
    if (line.startsWith(u'"')) {
        qsizetype i = 1;
        bool closed = false;
        for (; i < line.size(); ++i) {
            const QChar c = line[i];
            if (c == u'\\') {
                if (i + 1 == line.size() || (line[i + 1] != u'\\' && line[i + 1] != u'"'))
                    return std::nullopt;
                name += line[++i];
            } else if (c == u'"') {
                closed = true;
                break;
            } else {
                name += c;
            }
        }
        if (!closed)
            return std::nullopt;
        rest = line.mid(i + 1).trimmed();
    } else {
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return std::nullopt;
        name = line.left(eq).trimmed().toString();
        rest = line.mid(eq);
    }
    if (!rest.startsWith(u'=') || !Hive::isValidValueName(name))
        return std::nullopt;
    const std::optional<int32_t> data = parseDecimal(rest.mid(1).trimmed());
    if (!data)
        return std::nullopt;
    return ValueLine{name, *data};
}

QString quoted(const QString& name) {
    QString out;
    out.reserve(name.size() + 2);
    out += u'"';
    for (QChar c : name) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

} // namespace

bool Hive::isValidKeyPath(const QString& path) {
    if (path.isEmpty())
        return true;
    const QStringList parts = path.split(u'\\');
    for (const QString& part : parts) {
        if (part.isEmpty() || hasControl(part))
            return false;
    }
    return true;
}

bool Hive::isValidValueName(const QString& name) {
    return !hasControl(name);
}

Hive Hive::parse(const QByteArray& text, bool* damaged) {
    Hive hive;
    bool bad = false;

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder(text);
    // Every save ends in a line break; a file without one was most likely cut short.
    if (decoder.hasError() || (!text.isEmpty() && !text.endsWith('\n')))
        bad = true;

    // Values are attributed to the last valid section; after a broken header they have no
    // key to go to and are dropped.
    std::optional<QString> section;
    for (QStringView raw : QStringView(decoded).split(u'\n')) {
        const QStringView line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const bool closed = line.size() >= 2 && line.endsWith(u']');
            const QString path = closed ? line.mid(1, line.size() - 2).toString() : QString();
            if (closed && isValidKeyPath(path)) {
                hive.addKey(path);
                section = path;
            } else {
                bad = true;
                section.reset();
            }
            continue;
        }
        const std::optional<ValueLine> value = parseValueLine(line);
        if (!value || !section) {
            bad = true;
            continue;
        }
        hive.setValue(*section, value->name, value->data);
    }

    if (damaged)
        *damaged = bad;
    return hive;
}

QByteArray Hive::serialize(const QString& rootName) const {
    QString out =
        QStringLiteral("; Ocula registry hive %1: each [key\\path] line opens a key, followed by\n"
                       "; \"Name\"=value lines (signed 32-bit decimal). Names ignore case.\n")
            .arg(rootName);
    for (const auto& entry : m_keys) {
        const Key& key = entry.second;
        out += QStringLiteral("\n[") + key.path + QStringLiteral("]\n");
        for (const Value& v : key.values)
            out += quoted(v.name) + u'=' + QString::number(v.data) + u'\n';
    }
    return out.toUtf8();
}

Hive::Key* Hive::findKey(const QString& path) {
    const auto it = m_keys.find(fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

const Hive::Key* Hive::findKey(const QString& path) const {
    const auto it = m_keys.find(fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

bool Hive::hasKey(const QString& path) const {
    return path.isEmpty() || findKey(path) != nullptr;
}

bool Hive::addKey(const QString& path) {
    if (!isValidKeyPath(path))
        return false;
    // The root always exists and is only stored once it holds values.
    if (path.isEmpty())
        return true;
    qsizetype end = 0;
    do {
        end = path.indexOf(u'\\', end + 1);
        const QString prefix = end < 0 ? path : path.left(end);
        m_keys.try_emplace(fold(prefix), Key{prefix, {}, {}});
    } while (end >= 0);
    return true;
}

Hive::Value* Hive::Key::find(const QString& foldedName) {
    const auto it = index.find(foldedName);
    return it == index.end() ? nullptr : &values[it->second];
}

const Hive::Value* Hive::Key::find(const QString& foldedName) const {
    return const_cast<Key*>(this)->find(foldedName);
}

std::optional<int32_t> Hive::value(const QString& keyPath, const QString& name) const {
    const Key* key = findKey(keyPath);
    const Value* value = key ? key->find(fold(name)) : nullptr;
    return value ? std::optional<int32_t>(value->data) : std::nullopt;
}

bool Hive::setValue(const QString& keyPath, const QString& name, int32_t data) {
    if (!isValidValueName(name))
        return false;
    Key* key = findKey(keyPath);
    if (!key) {
        if (!keyPath.isEmpty())
            return false;
        key = &m_keys.try_emplace(QString(), Key{QString(), {}, {}}).first->second;
    }
    QString folded = fold(name);
    if (Value* existing = key->find(folded)) {
        existing->data = data;
        return true;
    }
    key->index.emplace(std::move(folded), key->values.size());
    key->values.push_back(Value{name, data});
    return true;
}

bool Hive::operator==(const Hive& other) const {
    if (m_keys.size() != other.m_keys.size())
        return false;
    for (auto a = m_keys.begin(), b = other.m_keys.begin(); a != m_keys.end(); ++a, ++b) {
        if (a->first != b->first || a->second.path != b->second.path ||
            a->second.values.size() != b->second.values.size())
            return false;
        for (size_t i = 0; i < a->second.values.size(); ++i) {
            if (a->second.values[i].name != b->second.values[i].name ||
                a->second.values[i].data != b->second.values[i].data)
                return false;
        }
    }
    return true;
}

} // namespace ocula
