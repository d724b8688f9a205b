// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <Qt>

#include <cstdint>

class QKeyEvent;

namespace ocula {

// The keyboard commands are defined on virtual-key codes and a modifier mask
// (1 Shift, 2 Ctrl, 4 Alt); this is the one place that maps Qt's keys onto them.
namespace vk {
constexpr int16_t Back = 8, Tab = 9, Return = 13, Escape = 27, Space = 32;
constexpr int16_t Left = 37, Up = 38, Right = 39, Down = 40;
constexpr int16_t Multiply = 106, Add = 107, Subtract = 109;
} // namespace vk

int16_t virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);
// The same for a key event, also where the window system leaves the keypad flag out but
// names the key's keysym (Qt on Wayland: keypad + comes as a plain Key_Plus).
int16_t virtualKeyCode(const QKeyEvent& event);
int16_t shiftMask(Qt::KeyboardModifiers modifiers);

} // namespace ocula
