#pragma once

#include <QPixmap>

class QByteArray;

namespace ocula {

// Decodes a complete image file (GIF, PNG, ... as Qt's readers know them).
// Anything that does not decode gives a null picture; nothing is thrown.
QPixmap PictureFromBytes(const QByteArray& bytes);

} // namespace ocula
