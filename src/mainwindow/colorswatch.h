// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QRgb>
#include <QWidget>

#include <optional>

namespace ocula {

// A small square of one colour inside a thin frame; hollow while it has no colour.
class ColorSwatch : public QWidget {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget* parent);
    std::optional<QRgb> color() const { return m_color; }
    void setColor(std::optional<QRgb> color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QRgb> m_color;
};

} // namespace ocula
