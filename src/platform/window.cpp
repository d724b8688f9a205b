// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/window.h"

#include <QWidget>
#include <QWindow>

namespace ocula {

void setTopmost(QWidget* window, bool on) {
    if (window == nullptr)
        return;
    if (QWindow* handle = window->windowHandle()) {
        // QWidget::setWindowFlag on a created window would destroy and recreate it.
        handle->setFlag(Qt::WindowStaysOnTopHint, on);
        window->overrideWindowFlags(handle->flags());
    } else {
        window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    }
}

bool isTopmost(const QWidget* window) {
    return window != nullptr && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

} // namespace ocula
