// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

namespace ocula {

// The host's store for a control's saved properties. A value is always passed with its
// default: a missing key reads back as the default.
class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    virtual QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const = 0;
    virtual void WriteProperty(const QString& name, const QVariant& value,
                               const QVariant& defaultValue) = 0;
};

// Keeps only the values that differ from their defaults, as a saved form does.
class MemoryPropertyBag final : public PropertyBag {
public:
    QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const override;
    void WriteProperty(const QString& name, const QVariant& value,
                       const QVariant& defaultValue) override;

    bool contains(const QString& name) const { return m_values.contains(name); }
    qsizetype size() const { return m_values.size(); }
    void set(const QString& name, const QVariant& value) { m_values.insert(name, value); }

private:
    QMap<QString, QVariant> m_values;
};

} // namespace ocula
