// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QScrollBar>

namespace ocula {

// A vertical scroll bar used as a spin control: the largest value sits at the top, so the
// upper arrow, Up, Page Up and the wheel turned forward all raise the value. Qt's own
// inverted appearance would move the thumb but leave the upper arrow lowering the value,
// so the bar keeps its normal orientation and mirrors the number instead: read and set the
// value through spinValue() and setSpinValue(), never through value().
class SpinBar : public QScrollBar {
    Q_OBJECT
public:
    explicit SpinBar(QWidget* parent = nullptr);

    int spinValue() const { return mirrored(value()); }
    // A value outside the range is ignored: the bar keeps what it shows.
    void setSpinValue(int value);
    // Sets the range and keeps the shown value where it still fits.
    void setSpinRange(int low, int high);

signals:
    // The shown value changed, by any means.
    void Change(int value);
    // The thumb is being dragged.
    void Scroll(int value);

private:
    int mirrored(int v) const { return minimum() + maximum() - v; }
};

} // namespace ocula
