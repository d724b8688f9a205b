// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QPixmap>
#include <QString>

#include <cstdint>

namespace ocula {

// Bytes of the embedded resource `id` of type `type` ("CUSTOM" holds the
// arrow GIFs 101..108); empty for an id or type that is not embedded.
QByteArray loadResourceBytes(int id, const QString& type);

// The picture of one arrow resource; null if it cannot be loaded.
QPixmap arrowPictureForResource(int id);

// Resource ids of the left-bar and top-bar arrows of an ArrowColor value;
// 0 for a value that names no colour set.
int leftArrowResourceId(int32_t arrowColor);
int topArrowResourceId(int32_t arrowColor);

// The side of an arrow's square at the current scale: 7 pixels at 96 dpi, and always odd,
// so that the tip is a middle pixel that can lie on its one-pixel marker line.
int arrowSize();
// An arrow's picture enlarged to arrowSize() with whole source pixels (nearest neighbour,
// symmetric about the middle pixel); unchanged at 96 dpi and when null.
QPixmap scaledArrow(const QPixmap& picture);

// The arrows a new control shows before any ArrowColor is applied.
QPixmap builtinLeftArrow();
QPixmap builtinTopArrow();

} // namespace ocula
