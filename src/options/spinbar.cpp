// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "options/spinbar.h"

#include <algorithm>

namespace ocula {

SpinBar::SpinBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QScrollBar::valueChanged, this, [this](int v) { emit Change(mirrored(v)); });
    connect(this, &QScrollBar::sliderMoved, this, [this](int v) { emit Scroll(mirrored(v)); });
}

void SpinBar::setSpinValue(int value) {
    if (value < minimum() || value > maximum())
        return;
    setValue(mirrored(value));
}

void SpinBar::setSpinRange(int low, int high) {
    const int shown = spinValue();
    // Block the intermediate value that the bare range change would report.
    {
        const QSignalBlocker quiet(this);
        setRange(low, high);
        setValue(mirrored(std::clamp(shown, low, std::max(low, high))));
    }
    if (spinValue() != shown)
        emit Change(spinValue());
}

} // namespace ocula
