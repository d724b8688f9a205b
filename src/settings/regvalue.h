// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>

namespace ocula {

// What reading a registry value gives: a 32-bit integer, "ERROR" (the key or value could not
// be read) or empty (the key path was not usable). Empty converts like a zero; an error
// converts to nothing, so that the caller keeps its previous value.
class RegValue {
public:
    enum class Kind { Empty, Error, Integer };

    constexpr RegValue() = default;
    static constexpr RegValue error() { return RegValue(Kind::Error, 0); }
    static constexpr RegValue integer(int32_t value) { return RegValue(Kind::Integer, value); }

    constexpr Kind kind() const { return m_kind; }
    constexpr bool isEmpty() const { return m_kind == Kind::Empty; }
    constexpr bool isError() const { return m_kind == Kind::Error; }
    constexpr bool isInteger() const { return m_kind == Kind::Integer; }

    constexpr std::optional<int32_t> toLong() const {
        if (m_kind == Kind::Error)
            return std::nullopt;
        return m_value;
    }
    // Fails outside -32768..32767 as well.
    constexpr std::optional<int16_t> toShort() const {
        if (m_kind == Kind::Error || m_value < INT16_MIN || m_value > INT16_MAX)
            return std::nullopt;
        return int16_t(m_value);
    }
    // Any non-zero number is true.
    constexpr std::optional<bool> toBool() const {
        if (m_kind == Kind::Error)
            return std::nullopt;
        return m_value != 0;
    }

    constexpr bool operator==(const RegValue&) const = default;

private:
    constexpr RegValue(Kind kind, int32_t value) : m_kind(kind), m_value(value) {}

    Kind m_kind = Kind::Empty;
    int32_t m_value = 0;
};

} // namespace ocula
