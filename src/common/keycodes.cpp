// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/keycodes.h"

#include <QKeyEvent>

namespace ocula {

int16_t virtualKeyCode(int key, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return int16_t(key); // Qt's letter codes are the upper-case ASCII codes, as are VK codes
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return int16_t(keypad ? 96 + (key - Qt::Key_0) : key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return int16_t(112 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace:
        return vk::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return vk::Return;
    case Qt::Key_Escape:
        return vk::Escape;
    case Qt::Key_Space:
        return vk::Space;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return vk::Left;
    case Qt::Key_Up:
        return vk::Up;
    case Qt::Key_Right:
        return vk::Right;
    case Qt::Key_Down:
        return vk::Down;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Asterisk:
        return keypad ? vk::Multiply : 0;
    case Qt::Key_Plus:
        return keypad ? vk::Add : 187;
    case Qt::Key_Minus:
        return keypad ? vk::Subtract : 189;
    case Qt::Key_Slash:
        return keypad ? 111 : 191;
    case Qt::Key_Period:
        return keypad ? 110 : 190;
    case Qt::Key_Comma:
        return 188;
    default:
        return 0;
    }
}

int16_t virtualKeyCode(const QKeyEvent& event) {
    // XK_KP_Space .. XK_KP_Equal; the Windows codes Qt reports there are all below 256.
    constexpr quint32 kFirstKeypadKeysym = 0xff80, kLastKeypadKeysym = 0xffbd;
    const quint32 keysym = event.nativeVirtualKey();
    Qt::KeyboardModifiers modifiers = event.modifiers();
    if (keysym >= kFirstKeypadKeysym && keysym <= kLastKeypadKeysym)
        modifiers |= Qt::KeypadModifier;
    return virtualKeyCode(event.key(), modifiers);
}

int16_t shiftMask(Qt::KeyboardModifiers modifiers) {
    int16_t mask = 0;
    if (modifiers.testFlag(Qt::ShiftModifier))
        mask |= 1;
    if (modifiers.testFlag(Qt::ControlModifier))
        mask |= 2;
    if (modifiers.testFlag(Qt::AltModifier))
        mask |= 4;
    return mask;
}

} // namespace ocula
