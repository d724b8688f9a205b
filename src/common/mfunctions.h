// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#pragma once

#include <QPixmap>

class QByteArray;

namespace ocula {

// Decodes a complete image file (GIF, PNG, ... as Qt's readers know them).
// Anything that does not decode gives a null picture; nothing is thrown. A caller that
// knows the file's format names it ("gif"): otherwise every image plugin there is gets
// loaded to ask whether it knows the data.
QPixmap PictureFromBytes(const QByteArray& bytes, const char* format = nullptr);

} // namespace ocula
