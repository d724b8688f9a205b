// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// The Wayland screen source's own logic: where each monitor's stream lies on the desktop,
// which pixel layouts it takes, and the file that keeps the desktop's permission.
#include "platform/wayland/pipewirestreams.h"
#include "platform/wayland/screencastportal.h"
#include "platform/wayland/waylandscreensource.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <spa/param/video/raw.h>

using namespace ocula;

Q_DECLARE_METATYPE(std::vector<StreamPlacement>)
Q_DECLARE_METATYPE(std::vector<QRect>)

class TestScreenCast : public QObject {
    Q_OBJECT
private slots:
    void streamsArePlacedOnOneDesktop_data();
    void streamsArePlacedOnOneDesktop();
    void pixelLayouts_data();
    void pixelLayouts();
    void restoreTokenFile_data();
    void restoreTokenFile();
    void restoreTokenPathFollowsXdgStateHome();
};

void TestScreenCast::streamsArePlacedOnOneDesktop_data() {
    QTest::addColumn<std::vector<StreamPlacement>>("streams");
    QTest::addColumn<std::vector<QRect>>("screens");
    QTest::addColumn<std::vector<QRect>>("expected");
    const QSize hd(1280, 720);
    QTest::newRow("one stream, no place told")
        << std::vector<StreamPlacement>{{std::nullopt, hd, hd}} << std::vector<QRect>{}
        << std::vector<QRect>{{0, 0, 1280, 720}};
    QTest::newRow("one stream before its first picture")
        << std::vector<StreamPlacement>{{QPoint(0, 0), hd, QSize()}} << std::vector<QRect>{}
        << std::vector<QRect>{{0, 0, 1280, 720}};
    QTest::newRow("two placed monitors")
        << std::vector<StreamPlacement>{{QPoint(0, 0), QSize(1920, 1080), QSize(1920, 1080)},
                                        {QPoint(1920, 0), hd, hd}}
        << std::vector<QRect>{} << std::vector<QRect>{{0, 0, 1920, 1080}, {1920, 0, 1280, 720}};
    // A monitor scaled by 2 streams twice its logical size, from twice its logical place.
    QTest::newRow("scaled monitors")
        << std::vector<StreamPlacement>{{QPoint(0, 0), hd, QSize(2560, 1440)},
                                        {QPoint(1280, 0), hd, QSize(2560, 1440)}}
        << std::vector<QRect>{} << std::vector<QRect>{{0, 0, 2560, 1440}, {2560, 0, 2560, 1440}};
    QTest::newRow("sizes only, matched to the screens in order")
        << std::vector<StreamPlacement>{{std::nullopt, hd, hd},
                                        {std::nullopt, QSize(1920, 1080), QSize(1920, 1080)},
                                        {std::nullopt, hd, hd}}
        << std::vector<QRect>{{0, 0, 1920, 1080}, {1920, 0, 1280, 720}, {3200, 100, 1280, 720}}
        << std::vector<QRect>{{1920, 0, 1280, 720}, {0, 0, 1920, 1080}, {3200, 100, 1280, 720}};
    QTest::newRow("sizes matching no screen go to the right")
        << std::vector<StreamPlacement>{{std::nullopt, hd, hd}, {std::nullopt, hd, hd}}
        << std::vector<QRect>{{0, 0, 800, 600}}
        << std::vector<QRect>{{0, 0, 1280, 720}, {1280, 0, 1280, 720}};
}

void TestScreenCast::streamsArePlacedOnOneDesktop() {
    QFETCH(std::vector<StreamPlacement>, streams);
    QFETCH(std::vector<QRect>, screens);
    QFETCH(std::vector<QRect>, expected);
    QCOMPARE(placeStreams(streams, screens), expected);
}

void TestScreenCast::pixelLayouts_data() {
    QTest::addColumn<uint32_t>("format");
    QTest::addColumn<int>("order");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QRgb>("pixel");
    const QByteArray bytes("\x10\x20\x30\x00", 4);
    QTest::newRow("BGRx") << uint32_t(SPA_VIDEO_FORMAT_BGRx) << int(PixelOrder::Xrgb) << bytes
                          << QRgb(0xff302010);
    QTest::newRow("BGRA") << uint32_t(SPA_VIDEO_FORMAT_BGRA) << int(PixelOrder::Xrgb) << bytes
                          << QRgb(0xff302010);
    QTest::newRow("RGBx") << uint32_t(SPA_VIDEO_FORMAT_RGBx) << int(PixelOrder::Xbgr) << bytes
                          << QRgb(0xff102030);
    QTest::newRow("RGBA") << uint32_t(SPA_VIDEO_FORMAT_RGBA) << int(PixelOrder::Xbgr) << bytes
                          << QRgb(0xff102030);
    QTest::newRow("RGB, 24-bit") << uint32_t(SPA_VIDEO_FORMAT_RGB) << int(PixelOrder::Unsupported)
                                 << bytes << QRgb(0);
    QTest::newRow("NV12") << uint32_t(SPA_VIDEO_FORMAT_NV12) << int(PixelOrder::Unsupported)
                          << bytes << QRgb(0);
}

void TestScreenCast::pixelLayouts() {
    QFETCH(uint32_t, format);
    QFETCH(int, order);
    QFETCH(QByteArray, bytes);
    QFETCH(QRgb, pixel);
    QCOMPARE(int(pixelOrderOf(format)), order);
    if (PixelOrder(order) == PixelOrder::Unsupported)
        return;
    QRgb into = 0;
    QVERIFY(
        copyPixels(&into, reinterpret_cast<const uchar*>(bytes.constData()), 1, PixelOrder(order)));
    QCOMPARE(into, pixel);
    // The same again is no change.
    QVERIFY(!copyPixels(&into, reinterpret_cast<const uchar*>(bytes.constData()), 1,
                        PixelOrder(order)));
}

void TestScreenCast::restoreTokenFile_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("read");
    QTest::newRow("as written") << QByteArray("3f9c2a7e-11d4-4b7a-9e52-0c6e1c9a0b7d\n")
                                << QStringLiteral("3f9c2a7e-11d4-4b7a-9e52-0c6e1c9a0b7d");
    QTest::newRow("edited, spaces round it")
        << QByteArray("  abc123 \r\n") << QStringLiteral("abc123");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("two words") << QByteArray("abc def") << QString();
    QTest::newRow("binary") << QByteArray("ab\x01\xff", 4) << QString();
    QTest::newRow("far too long") << QByteArray(5000, 'a') << QString();
}

void TestScreenCast::restoreTokenFile() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, read);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state/ocula/screencast-token"));
    QCOMPARE(readRestoreToken(path), QString()); // none yet
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(stored);
    file.close();
    QCOMPARE(readRestoreToken(path), read);
    // Only a token is written; what cannot be one leaves the file as it was.
    QCOMPARE(writeRestoreToken(path, QString::fromLatin1(stored).trimmed()), !read.isEmpty());
    QCOMPARE(readRestoreToken(path), read);
    QVERIFY(writeRestoreToken(path, QStringLiteral("next-token")));
    QCOMPARE(readRestoreToken(path), QStringLiteral("next-token"));
    QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("screencast-token")});
}

void TestScreenCast::restoreTokenPathFollowsXdgStateHome() {
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit());
    QCOMPARE(restoreTokenPath(), dir.filePath(QStringLiteral("ocula/screencast-token")));
    // A relative one is to be ignored.
    qputenv("XDG_STATE_HOME", "relative/state");
    QCOMPARE(restoreTokenPath(),
             QDir::homePath() + QStringLiteral("/.local/state/ocula/screencast-token"));
}

QTEST_MAIN(TestScreenCast)
#include "test_screencast.moc"
