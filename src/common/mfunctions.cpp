// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/mfunctions.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <utility>

namespace ocula {

namespace {

// Skips a chain of data sub-blocks; false if the data ends inside it.
bool skipSubBlocks(const QByteArray& b, qsizetype& p) {
    while (p < b.size()) {
        const int n = static_cast<quint8>(b.at(p));
        p += 1 + n;
        if (n == 0)
            return true;
    }
    return false;
}

// Qt's GIF reader hands back a half-decoded frame when the file ends inside
// the pixel data; a cut-off file is not a picture, so the first image's data
// must be there to its terminating block.
bool gifFirstImageComplete(const QByteArray& b) {
    constexpr qsizetype screenDescriptorEnd = 13;
    if (b.size() < screenDescriptorEnd)
        return false;
    qsizetype p = screenDescriptorEnd;
    const int screenFlags = static_cast<quint8>(b.at(10));
    if (screenFlags & 0x80)
        p += 3 * (2 << (screenFlags & 7));
    while (p < b.size()) {
        switch (static_cast<quint8>(b.at(p))) {
        case 0x21: // extension: label, then sub-blocks
            p += 2;
            if (!skipSubBlocks(b, p))
                return false;
            break;
        case 0x2C: { // image descriptor, optional local table, LZW minimum code size
            if (p + 10 > b.size())
                return false;
            const int imageFlags = static_cast<quint8>(b.at(p + 9));
            p += 10;
            if (imageFlags & 0x80)
                p += 3 * (2 << (imageFlags & 7));
            p += 1;
            return skipSubBlocks(b, p);
        }
        default:
            return false;
        }
    }
    return false;
}

} // namespace

QPixmap PictureFromBytes(const QByteArray& bytes, const char* knownFormat) {
    // Callers sit in event handlers and property setters: a failed
    // allocation must end as "no picture", not as an exception.
    try {
        if (bytes.isEmpty())
            return {};
        QBuffer buffer;
        buffer.setData(bytes);
        if (!buffer.open(QIODevice::ReadOnly))
            return {};
        QImageReader reader(&buffer, knownFormat);
        // With a format named, neither ask every plugin whether it also reads it.
        reader.setDecideFormatFromContent(knownFormat == nullptr);
        reader.setAutoDetectImageFormat(knownFormat == nullptr);
        // Asked before reading: once the data is consumed the reader no longer names it.
        const QByteArray format = reader.format();
        QImage image;
        if (!reader.read(&image) || image.isNull())
            return {};
        if (format == "gif" && !gifFirstImageComplete(bytes))
            return {};
        return QPixmap::fromImage(std::move(image));
    } catch (...) {
        return {};
    }
}

} // namespace ocula
