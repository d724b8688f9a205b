// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace ocula {

// The number a text starts with (leading blanks, an optional sign, digits, an optional
// fraction and exponent), 0 when it starts with none.
double leadingNumber(const QString& text);

// The leading number rounded half to even, or nothing when it does not fit 32 bits.
std::optional<int32_t> leadingNumberAsLong(const QString& text);

} // namespace ocula
