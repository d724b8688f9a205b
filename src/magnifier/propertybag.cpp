// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "magnifier/propertybag.h"

namespace ocula {

QVariant MemoryPropertyBag::ReadProperty(const QString& name, const QVariant& defaultValue) const {
    return m_values.value(name, defaultValue);
}

void MemoryPropertyBag::WriteProperty(const QString& name, const QVariant& value,
                                      const QVariant& defaultValue) {
    if (value == defaultValue)
        m_values.remove(name);
    else
        m_values.insert(name, value);
}

} // namespace ocula
