// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/mfunctions.h"
#include "magnifier/arrowimages.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTest>

#include <array>
#include <cstdint>
#include <limits>

using namespace ocula;

using PixelMap = std::array<std::array<int, 7>, 7>;
using Palette = QList<QRgb>;

Q_DECLARE_METATYPE(PixelMap)

namespace {

// The arrow tables as published, kept apart from the generator so that a
// fault in it shows up here.
constexpr PixelMap leftMap = {{
    {6, 1, 8, 8, 8, 8, 8},
    {7, 7, 6, 3, 8, 8, 8},
    {7, 7, 7, 7, 7, 3, 8},
    {7, 7, 7, 7, 7, 7, 3},
    {7, 7, 7, 7, 4, 2, 8},
    {7, 7, 4, 1, 8, 8, 8},
    {5, 0, 8, 8, 8, 8, 8},
}};

constexpr PixelMap topMap = {{
    {5, 7, 7, 7, 7, 7, 6},
    {0, 7, 7, 7, 7, 7, 1},
    {8, 4, 7, 7, 7, 6, 8},
    {8, 1, 7, 7, 7, 3, 8},
    {8, 8, 4, 7, 7, 8, 8},
    {8, 8, 2, 7, 3, 8, 8},
    {8, 8, 8, 3, 8, 8, 8},
}};

constexpr PixelMap builtinLeftMap = {{
    {0, 1, 0, 2, 2, 2, 2},
    {0, 1, 1, 1, 0, 2, 2},
    {0, 1, 1, 1, 1, 1, 2},
    {0, 1, 1, 1, 1, 1, 1},
    {0, 1, 1, 1, 1, 1, 2},
    {0, 1, 1, 1, 2, 2, 2},
    {0, 1, 2, 2, 2, 2, 2},
}};

constexpr PixelMap builtinTopMap = {{
    {0, 0, 0, 0, 0, 0, 0},
    {1, 1, 1, 1, 1, 1, 1},
    {2, 1, 1, 1, 1, 1, 0},
    {2, 1, 1, 1, 1, 1, 2},
    {2, 2, 1, 1, 1, 0, 2},
    {2, 2, 1, 1, 1, 2, 2},
    {2, 2, 2, 1, 2, 2, 2},
}};

Palette colourSet(int arrowColor) {
    switch (arrowColor) {
    case 0:
        return {0x1B1B1B, 0x53500C, 0x5E5B0E, 0x7B7911, 0xAAA515,
                0xB0AB15, 0xB7B115, 0xEFE60D, 0xFF00FF};
    case 1:
        return {0x181818, 0x50120C, 0x5B160E, 0x781D11, 0xA72415,
                0xAD2415, 0xB42415, 0xEC220D, 0xFF00FF};
    case 2:
        return {0x1A1A1A, 0x1C520C, 0x1F5D0E, 0x267A11, 0x35A915,
                0x36AF15, 0x38B615, 0x3FEE0D, 0xFF00FF};
    default:
        return {0x191919, 0x0C2D51, 0x0E325C, 0x114079, 0x1559A8,
                0x155CAE, 0x1560B5, 0x0D76ED, 0xFF00FF};
    }
}

const Palette builtinPalette = {0x999933, 0xFFFF00, 0xFF00FF, 0x000000};

const char* const colourNames[] = {"yellow", "red", "green", "blue"};

QByteArray builtinBytes(const QString& name) {
    QFile file(QStringLiteral(":/arrows/%1.gif").arg(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint8 byteAt(const QByteArray& b, qsizetype i) {
    return i < b.size() ? static_cast<quint8>(b.at(i)) : 0;
}

int word(const QByteArray& b, qsizetype i) {
    return byteAt(b, i) | (byteAt(b, i + 1) << 8);
}

// Just enough of a GIF reader for files with one global colour table, one
// graphic control extension and one image.
struct GifLayout {
    bool parsed = false;
    int screenWidth = 0, screenHeight = 0, screenFlags = 0, background = 0;
    Palette colours;
    int gceFlags = 0, delay = 0, transparentIndex = 0;
    int left = 0, top = 0, width = 0, height = 0, imageFlags = 0;
    int minCodeSize = 0;
    QByteArray codeStream;
    qsizetype endOffset = 0;
};

GifLayout parseGif(const QByteArray& b) {
    GifLayout g;
    if (!b.startsWith("GIF89a") || b.size() < 13)
        return g;
    g.screenWidth = word(b, 6);
    g.screenHeight = word(b, 8);
    g.screenFlags = byteAt(b, 10);
    g.background = byteAt(b, 11);
    qsizetype p = 13;
    if (g.screenFlags & 0x80) {
        const int entries = 2 << (g.screenFlags & 7);
        for (int i = 0; i < entries; ++i, p += 3)
            g.colours << qRgb(byteAt(b, p), byteAt(b, p + 1), byteAt(b, p + 2));
    }
    if (byteAt(b, p) != 0x21 || byteAt(b, p + 1) != 0xF9 || byteAt(b, p + 2) != 4)
        return g;
    g.gceFlags = byteAt(b, p + 3);
    g.delay = word(b, p + 4);
    g.transparentIndex = byteAt(b, p + 6);
    p += 8;
    if (byteAt(b, p) != 0x2C)
        return g;
    g.left = word(b, p + 1);
    g.top = word(b, p + 3);
    g.width = word(b, p + 5);
    g.height = word(b, p + 7);
    g.imageFlags = byteAt(b, p + 9);
    g.minCodeSize = byteAt(b, p + 10);
    p += 11;
    while (p < b.size() && byteAt(b, p) != 0) {
        const int n = byteAt(b, p);
        g.codeStream += b.mid(p + 1, n);
        p += 1 + n;
    }
    if (byteAt(b, p) != 0 || byteAt(b, p + 1) != 0x3B)
        return g;
    g.endOffset = p + 2;
    g.parsed = true;
    return g;
}

// Walks the LZW code stream the way a GIF decoder does, recording every code
// read and the pixel indices it stands for.
struct LzwWalk {
    QList<int> codes;
    QList<int> indices;
    qsizetype bitsAfterEnd = -1;
    bool valid = true;
};

LzwWalk walkLzw(const QByteArray& data, int minCodeSize) {
    LzwWalk w;
    const int clear = 1 << minCodeSize;
    const int eoi = clear + 1;
    QList<QList<int>> table;
    int width = 0;
    auto reset = [&] {
        table.clear();
        for (int i = 0; i < clear + 2; ++i)
            table.append(QList<int>{i});
        width = minCodeSize + 1;
    };
    reset();
    const qsizetype totalBits = data.size() * 8;
    qsizetype bit = 0;
    int previous = -1;
    while (bit + width <= totalBits) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((byteAt(data, bit / 8) >> (bit % 8)) & 1) << i;
        w.codes << code;
        if (code == eoi) {
            w.bitsAfterEnd = totalBits - bit;
            return w;
        }
        if (code == clear) {
            reset();
            previous = -1;
            continue;
        }
        QList<int> entry;
        if (code < table.size())
            entry = table.at(code);
        else if (code == table.size() && previous >= 0)
            entry = table.at(previous) + QList<int>{table.at(previous).first()};
        else {
            w.valid = false;
            return w;
        }
        w.indices += entry;
        if (previous >= 0 && table.size() < 4096) {
            table.append(table.at(previous) + QList<int>{entry.first()});
            if (table.size() == (1 << width) && width < 12)
                ++width;
        }
        previous = code;
    }
    return w;
}

QImage smallImage() {
    QImage image(5, 4, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(0, 0, qRgb(0x12, 0x34, 0x56));
    image.setPixel(4, 3, qRgb(0xFE, 0xDC, 0xBA));
    image.setPixel(2, 1, qRgba(0x40, 0x80, 0xC0, 0xFF));
    return image;
}

QByteArray smallPng() {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    smallImage().save(&buffer, "PNG");
    return png;
}

QList<int> flatten(const PixelMap& map) {
    QList<int> out;
    for (const auto& row : map)
        for (int v : row)
            out << v;
    return out;
}

} // namespace

class TestArrows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void colourFileLayout_data();
    void colourFileLayout();
    void codeStream_data();
    void codeStream();
    void decodedPixels_data();
    void decodedPixels();

    void resourceLookup_data();
    void resourceLookup();
    void resourceIds_data();
    void resourceIds();

    void notAnImageGivesNoPicture_data();
    void notAnImageGivesNoPicture();
    void imageBytesDecode_data();
    void imageBytesDecode();
};

void TestArrows::initTestCase() {
    // The test reads the built-in pair straight from the resources.
    Q_INIT_RESOURCE(arrows);
}

void TestArrows::colourFileLayout_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("expectedSize");
    QTest::addColumn<int>("arrowColor");
    for (int value = 0; value < 4; ++value) {
        QTest::addRow("%d %s left", 101 + 2 * value, colourNames[value])
            << 101 + 2 * value << 115 << value;
        QTest::addRow("%d %s top", 102 + 2 * value, colourNames[value])
            << 102 + 2 * value << 117 << value;
    }
}

void TestArrows::colourFileLayout() {
    QFETCH(int, id);
    QFETCH(int, expectedSize);
    QFETCH(int, arrowColor);

    const QByteArray bytes = loadResourceBytes(id, QStringLiteral("CUSTOM"));
    QCOMPARE(bytes.size(), expectedSize);
    QVERIFY(bytes.startsWith("GIF89a"));

    const GifLayout g = parseGif(bytes);
    QVERIFY(g.parsed);
    QCOMPARE(g.endOffset, bytes.size());
    QCOMPARE(g.screenWidth, 7);
    QCOMPARE(g.screenHeight, 7);
    QCOMPARE(g.screenFlags & 0x80, 0x80);  // global colour table
    QCOMPARE((g.screenFlags >> 4) & 7, 3); // colour resolution 4 bits
    QCOMPARE(g.colours.size(), 16);
    QCOMPARE(g.background, 0);
    QCOMPARE((g.gceFlags >> 2) & 7, 2); // restore to background
    QCOMPARE(g.gceFlags & 1, 1);        // transparent colour flag
    QCOMPARE(g.delay, 0);
    QCOMPARE(g.transparentIndex, 8);
    QCOMPARE(g.left, 0);
    QCOMPARE(g.top, 0);
    QCOMPARE(g.width, 7);
    QCOMPARE(g.height, 7);
    QCOMPARE(g.imageFlags, 0); // no local table, not interlaced
    QCOMPARE(g.minCodeSize, 8);

    const Palette expected = colourSet(arrowColor);
    for (int i = 0; i < 16; ++i) {
        // Entries past the published ones are black.
        const QRgb want = (i < expected.size() ? expected.at(i) : 0) | 0xFF000000u;
        QCOMPARE(g.colours.at(i), want);
    }
}

void TestArrows::codeStream_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<PixelMap>("map");
    QTest::addColumn<bool>("opensWithClear");
    for (int value = 0; value < 4; ++value) {
        const int left = 101 + 2 * value;
        QTest::addRow("%d", left) << loadResourceBytes(left, QStringLiteral("CUSTOM")) << leftMap
                                  << false;
        QTest::addRow("%d", left + 1)
            << loadResourceBytes(left + 1, QStringLiteral("CUSTOM")) << topMap << false;
    }
    // The built-in pair follows the usual encoder practice of a leading Clear.
    QTest::newRow("built-in left") << builtinBytes("builtin_left") << builtinLeftMap << true;
    QTest::newRow("built-in top") << builtinBytes("builtin_top") << builtinTopMap << true;
}

void TestArrows::codeStream() {
    QFETCH(QByteArray, bytes);
    QFETCH(PixelMap, map);
    QFETCH(bool, opensWithClear);

    const GifLayout g = parseGif(bytes);
    QVERIFY(g.parsed);
    const int clear = 1 << g.minCodeSize;
    const LzwWalk w = walkLzw(g.codeStream, g.minCodeSize);
    QVERIFY(w.valid);
    QVERIFY(!w.codes.isEmpty());
    QCOMPARE(w.codes.first() == clear, opensWithClear);
    QCOMPARE(w.codes.last(), clear + 1);
    // End-of-Information sits in the last byte: nothing but padding follows it.
    QVERIFY(w.bitsAfterEnd >= 0 && w.bitsAfterEnd < 8);
    QCOMPARE(w.indices, flatten(map));
}

void TestArrows::decodedPixels_data() {
    QTest::addColumn<QPixmap>("picture");
    QTest::addColumn<PixelMap>("map");
    QTest::addColumn<Palette>("palette");
    QTest::addColumn<int>("transparentIndex");
    for (int value = 0; value < 4; ++value) {
        QTest::addRow("%s left", colourNames[value])
            << arrowPictureForResource(leftArrowResourceId(value)) << leftMap << colourSet(value)
            << 8;
        QTest::addRow("%s top", colourNames[value])
            << arrowPictureForResource(topArrowResourceId(value)) << topMap << colourSet(value)
            << 8;
    }
    QTest::newRow("built-in left") << builtinLeftArrow() << builtinLeftMap << builtinPalette << 2;
    QTest::newRow("built-in top") << builtinTopArrow() << builtinTopMap << builtinPalette << 2;
}

void TestArrows::decodedPixels() {
    QFETCH(QPixmap, picture);
    QFETCH(PixelMap, map);
    QFETCH(Palette, palette);
    QFETCH(int, transparentIndex);

    QVERIFY(!picture.isNull());
    QCOMPARE(picture.size(), QSize(7, 7));
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            const int index = map[y][x];
            const QRgb pixel = image.pixel(x, y);
            if (index == transparentIndex) {
                QVERIFY2(qAlpha(pixel) == 0, qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
                continue;
            }
            const QRgb want = palette.at(index) | 0xFF000000u;
            QVERIFY2(pixel == want, qPrintable(QStringLiteral("(%1,%2): %3, expected %4")
                                                   .arg(x)
                                                   .arg(y)
                                                   .arg(pixel, 8, 16, QLatin1Char('0'))
                                                   .arg(want, 8, 16, QLatin1Char('0'))));
        }
    }
}

void TestArrows::resourceLookup_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("found");
    QTest::newRow("first arrow") << 101 << "CUSTOM" << true;
    QTest::newRow("last arrow") << 108 << "CUSTOM" << true;
    QTest::newRow("type name ignores case") << 104 << "custom" << true;
    QTest::newRow("id below the range") << 100 << "CUSTOM" << false;
    QTest::newRow("id above the range") << 109 << "CUSTOM" << false;
    QTest::newRow("id zero") << 0 << "CUSTOM" << false;
    QTest::newRow("negative id") << -101 << "CUSTOM" << false;
    QTest::newRow("other type") << 101 << "BITMAP" << false;
    QTest::newRow("empty type") << 101 << "" << false;
}

void TestArrows::resourceLookup() {
    QFETCH(int, id);
    QFETCH(QString, type);
    QFETCH(bool, found);
    const QByteArray bytes = loadResourceBytes(id, type);
    QCOMPARE(!bytes.isEmpty(), found);
}

void TestArrows::resourceIds_data() {
    QTest::addColumn<int32_t>("arrowColor");
    QTest::addColumn<int>("leftId");
    QTest::addColumn<int>("topId");
    QTest::newRow("yellow") << int32_t(0) << 101 << 102;
    QTest::newRow("red") << int32_t(1) << 103 << 104;
    QTest::newRow("green") << int32_t(2) << 105 << 106;
    QTest::newRow("blue") << int32_t(3) << 107 << 108;
    QTest::newRow("-1") << int32_t(-1) << 0 << 0;
    QTest::newRow("4") << int32_t(4) << 0 << 0;
    QTest::newRow("7") << int32_t(7) << 0 << 0;
    QTest::newRow("min") << std::numeric_limits<int32_t>::min() << 0 << 0;
    QTest::newRow("max") << std::numeric_limits<int32_t>::max() << 0 << 0;
}

void TestArrows::resourceIds() {
    QFETCH(int32_t, arrowColor);
    QFETCH(int, leftId);
    QFETCH(int, topId);
    QCOMPARE(leftArrowResourceId(arrowColor), leftId);
    QCOMPARE(topArrowResourceId(arrowColor), topId);
}

void TestArrows::notAnImageGivesNoPicture_data() {
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray gif = loadResourceBytes(101, QStringLiteral("CUSTOM"));
    QVERIFY(gif.size() == 115);

    QByteArray noise(512, '\0');
    QRandomGenerator rng(20240613);
    for (char& c : noise)
        c = static_cast<char>(rng.bounded(256));
    // Keep the noise from starting with a recognised signature by chance.
    noise[0] = 'x';

    QByteArray pngWithGarbage("\x89PNG\r\n\x1a\n", 8);
    pngWithGarbage += noise.left(64);

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray(1, 'G');
    QTest::newRow("random bytes") << noise;
    QTest::newRow("text") << QByteArray("this is not an image");
    QTest::newRow("GIF signature only") << gif.left(6);
    QTest::newRow("GIF cut in the colour table") << gif.left(40);
    QTest::newRow("GIF cut before the image") << gif.left(75);
    QTest::newRow("GIF cut after the code size") << gif.left(80);
    QTest::newRow("GIF cut in the pixel data") << gif.left(95);
    QTest::newRow("GIF cut before the data terminator") << gif.left(113);
    QTest::newRow("PNG signature and garbage") << pngWithGarbage;
    QTest::newRow("PNG cut in the pixel data") << smallPng().chopped(20);
}

void TestArrows::notAnImageGivesNoPicture() {
    QFETCH(QByteArray, bytes);
    QVERIFY(PictureFromBytes(bytes).isNull());
}

void TestArrows::imageBytesDecode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");

    const QByteArray gif = loadResourceBytes(101, QStringLiteral("CUSTOM"));
    const QImage arrow = PictureFromBytes(gif).toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!arrow.isNull());

    QTest::newRow("PNG") << smallPng() << smallImage();
    // The image is whole; only the closing trailer byte is missing.
    QTest::newRow("GIF without trailer") << gif.chopped(1) << arrow;
}

void TestArrows::imageBytesDecode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    const QPixmap picture = PictureFromBytes(bytes);
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.toImage().convertToFormat(QImage::Format_ARGB32), expected);
}

QTEST_MAIN(TestArrows)
#include "test_arrows.moc"
