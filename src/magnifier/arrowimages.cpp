// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "magnifier/arrowimages.h"

#include "common/mfunctions.h"
#include "common/uiscale.h"

#include <QFile>
#include <QImage>

#include <cmath>

// Q_INIT_RESOURCE cannot be used inside a namespace.
static void initArrowResources() {
    // The resources live in a static library: without this the linker drops them.
    static const bool registered = [] {
        Q_INIT_RESOURCE(arrows);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace ocula {

namespace {

constexpr int firstArrowId = 101;
constexpr int lastArrowId = 108;

QByteArray readResourceFile(const QString& path) {
    initArrowResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool isColourSet(int32_t arrowColor) {
    return arrowColor >= 0 && arrowColor <= 3;
}

} // namespace

QByteArray loadResourceBytes(int id, const QString& type) {
    // Resource type names compare without case, as the platform's own lookup does.
    if (type.compare(QLatin1String("CUSTOM"), Qt::CaseInsensitive) != 0)
        return {};
    if (id < firstArrowId || id > lastArrowId)
        return {};
    return readResourceFile(QStringLiteral(":/arrows/%1.gif").arg(id));
}

QPixmap arrowPictureForResource(int id) {
    return PictureFromBytes(loadResourceBytes(id, QStringLiteral("CUSTOM")), "gif");
}

int leftArrowResourceId(int32_t arrowColor) {
    return isColourSet(arrowColor) ? firstArrowId + 2 * arrowColor : 0;
}

int topArrowResourceId(int32_t arrowColor) {
    return isColourSet(arrowColor) ? firstArrowId + 1 + 2 * arrowColor : 0;
}

int arrowSize() {
    return 2 * int(std::floor(7 * uiScale() / 2)) + 1;
}

QPixmap scaledArrow(const QPixmap& picture) {
    const int size = arrowSize();
    if (picture.isNull() || (picture.width() == size && picture.height() == size))
        return picture;
    const QImage from = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage to(size, size, QImage::Format_ARGB32);
    // Pixel centres map onto pixel centres: an odd size keeps the middle pixel in the middle.
    for (int y = 0; y < size; ++y) {
        const int sy = (2 * y + 1) * from.height() / (2 * size);
        const auto* in = reinterpret_cast<const QRgb*>(from.constScanLine(sy));
        auto* out = reinterpret_cast<QRgb*>(to.scanLine(y));
        for (int x = 0; x < size; ++x)
            out[x] = in[(2 * x + 1) * from.width() / (2 * size)];
    }
    return QPixmap::fromImage(to);
}

QPixmap builtinLeftArrow() {
    return PictureFromBytes(readResourceFile(QStringLiteral(":/arrows/builtin_left.gif")), "gif");
}

QPixmap builtinTopArrow() {
    return PictureFromBytes(readResourceFile(QStringLiteral(":/arrows/builtin_top.gif")), "gif");
}

} // namespace ocula
