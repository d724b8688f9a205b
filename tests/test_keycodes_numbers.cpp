// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// Small shared helpers: Qt keys to virtual-key codes and modifier masks, the leading
// number of a text, the scale a session asks for, and a colour's texts and contrast.
#include "common/colortext.h"
#include "common/keycodes.h"
#include "common/numbers.h"
#include "common/uiscale.h"

#include <QKeyEvent>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <optional>

using namespace ocula;

class TestKeycodesNumbers : public QObject {
    Q_OBJECT
private slots:
    void virtualKeyCodes_data();
    void virtualKeyCodes();
    void shiftMasks_data();
    void shiftMasks();
    void leadingNumbers_data();
    void leadingNumbers();
    void leadingNumbersAsLong_data();
    void leadingNumbersAsLong();
    void requestedScales_data();
    void requestedScales();
    void colorTexts_data();
    void colorTexts();
};

void TestKeycodesNumbers::virtualKeyCodes_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code");
    QTest::addColumn<uint>("keysym");
    const Qt::KeyboardModifiers none, pad = Qt::KeypadModifier;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    // Windows virtual-key codes: letters are their upper-case ASCII codes.
    QTest::newRow("A") << int(Qt::Key_A) << none << 65 << 0u;
    QTest::newRow("Z") << int(Qt::Key_Z) << none << 90 << 0u;
    QTest::newRow("Shift+I") << int(Qt::Key_I) << shift << 73 << 0u;
    QTest::newRow("Alt+G") << int(Qt::Key_G) << alt << 71 << 0u;
    QTest::newRow("Left") << int(Qt::Key_Left) << none << 37 << 0u;
    QTest::newRow("Up") << int(Qt::Key_Up) << none << 38 << 0u;
    QTest::newRow("Right") << int(Qt::Key_Right) << none << 39 << 0u;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << 40 << 0u;
    QTest::newRow("Shift+Left") << int(Qt::Key_Left) << shift << 37 << 0u;
    QTest::newRow("keypad +") << int(Qt::Key_Plus) << pad << 107 << 0u;
    QTest::newRow("keypad -") << int(Qt::Key_Minus) << pad << 109 << 0u;
    QTest::newRow("keypad *") << int(Qt::Key_Asterisk) << pad << 106 << 0u;
    QTest::newRow("Ctrl+keypad +") << int(Qt::Key_Plus) << (pad | Qt::ControlModifier) << 107 << 0u;
    QTest::newRow("main +") << int(Qt::Key_Plus) << none << 187 << 0u;  // VK_OEM_PLUS
    QTest::newRow("main -") << int(Qt::Key_Minus) << none << 189 << 0u; // VK_OEM_MINUS
    QTest::newRow("keypad 5") << int(Qt::Key_5) << pad << 101 << 0u;    // VK_NUMPAD5
    QTest::newRow("main 5") << int(Qt::Key_5) << none << 53 << 0u;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << none << 27 << 0u;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << 8 << 0u;
    QTest::newRow("Return") << int(Qt::Key_Return) << none << 13 << 0u;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << pad << 13 << 0u;
    QTest::newRow("F1") << int(Qt::Key_F1) << none << 112 << 0u;
    // Wayland leaves the keypad flag out; the keysym tells.
    QTest::newRow("keypad + by keysym") << int(Qt::Key_Plus) << none << 107 << 0xffabu;
    QTest::newRow("keypad 5 by keysym") << int(Qt::Key_5) << none << 101 << 0xffb5u;
    QTest::newRow("main + by keysym") << int(Qt::Key_Plus) << none << 187 << 0x2bu;
}

void TestKeycodesNumbers::virtualKeyCodes() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, code);
    QFETCH(uint, keysym);
    const QKeyEvent event(QEvent::KeyPress, key, modifiers, 0, keysym, 0);
    QCOMPARE(int(virtualKeyCode(event)), code);
}

void TestKeycodesNumbers::shiftMasks_data() {
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("mask");
    QTest::newRow("none") << Qt::KeyboardModifiers() << 0;
    QTest::newRow("Shift") << Qt::KeyboardModifiers(Qt::ShiftModifier) << 1;
    QTest::newRow("Ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier) << 2;
    QTest::newRow("Alt") << Qt::KeyboardModifiers(Qt::AltModifier) << 4;
    QTest::newRow("Shift+Ctrl") << (Qt::ShiftModifier | Qt::ControlModifier) << 3;
    QTest::newRow("Shift+Ctrl+Alt")
        << (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier) << 7;
    // Neither the keypad flag nor Meta is part of the mask.
    QTest::newRow("keypad") << Qt::KeyboardModifiers(Qt::KeypadModifier) << 0;
    QTest::newRow("keypad+Shift") << (Qt::KeypadModifier | Qt::ShiftModifier) << 1;
    QTest::newRow("Meta") << Qt::KeyboardModifiers(Qt::MetaModifier) << 0;
}

void TestKeycodesNumbers::shiftMasks() {
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, mask);
    QCOMPARE(int(shiftMask(modifiers)), mask);
}

void TestKeycodesNumbers::leadingNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digits") << "300" << 300.0;
    QTest::newRow("digits then letters") << "12abc" << 12.0;
    QTest::newRow("letters only") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("leading blank") << " 7" << 7.0;
    QTest::newRow("leading tab") << "\t7" << 7.0;
    QTest::newRow("minus") << "-3" << -3.0;
    QTest::newRow("plus") << "+4" << 4.0;
    QTest::newRow("fraction") << "2.5" << 2.5;
    QTest::newRow("fraction only") << ".5" << 0.5;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("negative exponent") << "25E-1x" << 2.5;
    QTest::newRow("incomplete exponent") << "5e" << 5.0;
    QTest::newRow("second point") << "12.3.4" << 12.3;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("exponent without digits before") << "e5" << 0.0;
    QTest::newRow("non-ASCII digits") << QStringLiteral("\u0661\u0662") << 0.0;
    QTest::newRow("letter before digits") << "x12" << 0.0;
}

void TestKeycodesNumbers::leadingNumbers() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(leadingNumber(text), value);
}

void TestKeycodesNumbers::leadingNumbersAsLong_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("value");
    QTest::newRow("12abc") << "12abc" << true << 12;
    QTest::newRow("abc") << "abc" << true << 0;
    QTest::newRow("blank 7") << " 7" << true << 7;
    QTest::newRow("-3") << "-3" << true << -3;
    QTest::newRow("2.5 to even") << "2.5" << true << 2;
    QTest::newRow("3.5 to even") << "3.5" << true << 4;
    QTest::newRow("-2.5 to even") << "-2.5" << true << -2;
    QTest::newRow("0.5 to even") << "0.5" << true << 0;
    QTest::newRow("2.6 up") << "2.6" << true << 3;
    QTest::newRow("1e3") << "1e3" << true << 1000;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("largest and a bit") << "2147483647.4" << true << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << true << int(INT32_MIN);
    QTest::newRow("smallest, half rounds back in") << "-2147483648.5" << true << int(INT32_MIN);
    QTest::newRow("one past largest") << "2147483648" << false << 0;
    QTest::newRow("largest, half rounds out") << "2147483647.5" << false << 0;
    QTest::newRow("one below smallest") << "-2147483649" << false << 0;
    QTest::newRow("eleven digits") << "99999999999" << false << 0;
    QTest::newRow("exponent beyond") << "1e10" << false << 0;
    QTest::newRow("exponent beyond double") << "1e999" << false << 0;
}

void TestKeycodesNumbers::leadingNumbersAsLong() {
    QFETCH(QString, text);
    QFETCH(bool, fits);
    QFETCH(int, value);
    const std::optional<int32_t> result = leadingNumberAsLong(text);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(*result, value);
}

void TestKeycodesNumbers::requestedScales_data() {
    QTest::addColumn<QByteArray>("scaleFactor");
    QTest::addColumn<QByteArray>("screenFactors");
    QTest::addColumn<QByteArray>("fontDpi");
    QTest::addColumn<QString>("primary");
    QTest::addColumn<QByteArray>("resources"); // RESOURCE_MANAGER's text
    QTest::addColumn<double>("scale");
    const QByteArray none;
    const QByteArray xft144 = "*customization:\t-color\nXft.antialias:\t1\nXft.dpi:\t144\n";
    QTest::newRow("nothing asked") << none << none << none << QString() << none << 1.0;
    QTest::newRow("QT_SCALE_FACTOR")
        << QByteArray("1.5") << none << none << QString() << none << 1.5;
    QTest::newRow("Xft.dpi 144") << none << none << none << QString() << xft144 << 1.5;
    QTest::newRow("Xft.dpi 192 without a newline")
        << none << none << none << QString() << QByteArray("Xft.dpi: 192") << 2.0;
    QTest::newRow("factor times dpi")
        << QByteArray("1.25") << none << none << QString() << QByteArray("Xft.dpi:\t192\n") << 2.5;
    QTest::newRow("screens by order: the primary is first")
        << none << QByteArray("1.5;2") << none << QString() << none << 1.5;
    QTest::newRow("screens by name") << none << QByteArray("DP-1=2;HDMI-1=1.25") << none
                                     << QStringLiteral("HDMI-1") << none << 1.25;
    QTest::newRow("by name, the primary not named")
        << none << QByteArray("DP-1=2") << none << QStringLiteral("eDP-1") << none << 1.0;
    QTest::newRow("by name, primary unknown")
        << none << QByteArray("DP-1=2") << none << QString() << none << 1.0;
    QTest::newRow("every source multiplies")
        << QByteArray("2") << QByteArray("DP-1=1.25") << none << QStringLiteral("DP-1")
        << QByteArray("Xft.dpi: 120") << 3.125;
    QTest::newRow("QT_FONT_DPI stands in for Xft.dpi")
        << none << none << QByteArray("120") << QString() << xft144 << 1.25;
    QTest::newRow("a resource that only ends in Xft.dpi")
        << none << none << none << QString() << QByteArray("Foo.Xft.dpi: 144\n") << 1.0;
    QTest::newRow("not numbers count as 1") << QByteArray("big") << QByteArray("x;2") << none
                                            << QString() << QByteArray("Xft.dpi: high") << 1.0;
    QTest::newRow("zero and negative count as 1")
        << QByteArray("0") << QByteArray("-2") << QByteArray("0") << QString() << none << 1.0;
    QTest::newRow("an absurd factor is held in bounds")
        << QByteArray("100") << none << none << QString() << none << 8.0;
}

void TestKeycodesNumbers::requestedScales() {
    QFETCH(QByteArray, scaleFactor);
    QFETCH(QByteArray, screenFactors);
    QFETCH(QByteArray, fontDpi);
    QFETCH(QString, primary);
    QFETCH(QByteArray, resources);
    QFETCH(double, scale);
    ScaleRequest request;
    request.scaleFactor = scaleFactor;
    request.screenScaleFactors = screenFactors;
    request.fontDpi = fontDpi;
    request.primaryName = primary;
    request.xftDpi = xftDpiFromResources(resources);
    QCOMPARE(requestedScale(request), scale);
}

void TestKeycodesNumbers::colorTexts_data() {
    QTest::addColumn<uint>("color");
    QTest::addColumn<uint>("other");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("rgb");
    QTest::addColumn<QString>("contrast"); // of color against other, either way round
    const uint white = 0xffffffffu;
    QTest::newRow("black on white") << 0xff000000u << white << "#000000"
                                    << "rgb(0, 0, 0)"
                                    << "21.00:1 AAA";
    QTest::newRow("white on black") << white << 0xff000000u << "#FFFFFF"
                                    << "rgb(255, 255, 255)"
                                    << "21.00:1 AAA";
    QTest::newRow("itself, alpha aside") << 0x80010203u << 0xff010203u << "#010203"
                                         << "rgb(1, 2, 3)"
                                         << "1.00:1 fail";
    QTest::newRow("AA just passes") << 0xff767676u << white << "#767676"
                                    << "rgb(118, 118, 118)"
                                    << "4.54:1 AA";
    QTest::newRow("AA just fails") << 0xff777777u << white << "#777777"
                                   << "rgb(119, 119, 119)"
                                   << "4.47:1 fail";
    QTest::newRow("AAA just passes") << 0xff595959u << white << "#595959"
                                     << "rgb(89, 89, 89)"
                                     << "7.00:1 AAA";
    QTest::newRow("AAA just fails") << 0xff5a5a5au << white << "#5A5A5A"
                                    << "rgb(90, 90, 90)"
                                    << "6.89:1 AA";
    // 3.998: cut, never rounded up to a 4.00 that the level would contradict.
    QTest::newRow("red on white is cut") << 0xffff0000u << white << "#FF0000"
                                         << "rgb(255, 0, 0)"
                                         << "3.99:1 fail";
    // Dark enough that the curve would give 1.02.
    QTest::newRow("the linear segment") << 0xff030303u << 0xff000000u << "#030303"
                                        << "rgb(3, 3, 3)"
                                        << "1.01:1 fail";
    QTest::newRow("blue on yellow") << 0xff0000ffu << 0xffffff00u << "#0000FF"
                                    << "rgb(0, 0, 255)"
                                    << "8.00:1 AAA";
    QTest::newRow("channels apart") << 0xff1a2b3cu << 0xfffaebd7u << "#1A2B3C"
                                    << "rgb(26, 43, 60)"
                                    << "12.32:1 AAA";
}

void TestKeycodesNumbers::colorTexts() {
    QFETCH(uint, color);
    QFETCH(uint, other);
    QFETCH(QString, hex);
    QFETCH(QString, rgb);
    QFETCH(QString, contrast);
    QCOMPARE(hexText(color), hex);
    QCOMPARE(rgbText(color), rgb);
    QCOMPARE(contrastText(contrastRatio(color, other)), contrast);
    QCOMPARE(contrastText(contrastRatio(other, color)), contrast);
}

QTEST_APPLESS_MAIN(TestKeycodesNumbers)
#include "test_keycodes_numbers.moc"
