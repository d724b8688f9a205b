// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "magnifier/zoom.h"
#include "mainwindow/frmmain.h"
#include "options/frmoptions.h"
#include "platform/filehive/filehivestorage.h"
#include "platform/memory/imagescreensource.h"
#include "platform/window.h"
#include "settings/mregistry.h"
#include "settings/regvalue.h"
#include "settings/settingsstore.h"
#include "support/pattern.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <memory>

using namespace ocula;

namespace {

const QString MachineKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Ocula");
const QString UserKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnwick\\Ocula");
const QString OptionsKey = UserKey + QStringLiteral("\\Options");

// The offscreen screen of these tests: 1280 x 1024 at 96 dpi.
constexpr int Twips = 15;
constexpr int ScreenW = 1280;
constexpr int ScreenH = 1024;
const QString FirstRun = QStringLiteral("(first run)");

const QStringList UserNames = {QStringLiteral("MainLeft"), QStringLiteral("MainTop"),
                               QStringLiteral("MainWidth"), QStringLiteral("MainHeight")};
const QStringList OptionNames = {
    QStringLiteral("OnTop"),       QStringLiteral("HasGrid"),    QStringLiteral("ShowBars"),
    QStringLiteral("ShowMarkers"), QStringLiteral("ShowCoords"), QStringLiteral("FollowMouse"),
    QStringLiteral("Factor"),      QStringLiteral("Steps"),      QStringLiteral("Infobar"),
    QStringLiteral("ClrMarkL"),    QStringLiteral("ClrMarkT"),   QStringLiteral("ClrGridA"),
    QStringLiteral("ClrGridB"),    QStringLiteral("ClrDivs"),    QStringLiteral("ClrArrow")};

QString keyOf(const QString& name) {
    if (name == QLatin1String("Version"))
        return MachineKey;
    return UserNames.contains(name) ? UserKey : OptionsKey;
}

int32_t colorValue(QPalette::ColorRole role) {
    const QColor c = QGuiApplication::palette().color(role);
    return int32_t(c.red() | (c.green() << 8) | (c.blue() << 16));
}

using Values = QMap<QString, int32_t>;

// What an earlier run left behind: every value differs from both the first-run default and
// the state of a window whose settings are not loaded yet.
Values earlierRun() {
    return {{QStringLiteral("Version"), 30},        {QStringLiteral("MainLeft"), 1500},
            {QStringLiteral("MainTop"), 2250},      {QStringLiteral("MainWidth"), 7500},
            {QStringLiteral("MainHeight"), 6000},   {QStringLiteral("OnTop"), 1},
            {QStringLiteral("HasGrid"), 0},         {QStringLiteral("ShowBars"), 1},
            {QStringLiteral("ShowMarkers"), 0},     {QStringLiteral("ShowCoords"), 1},
            {QStringLiteral("FollowMouse"), 0},     {QStringLiteral("Factor"), 9},
            {QStringLiteral("Steps"), 4},           {QStringLiteral("Infobar"), 0},
            {QStringLiteral("ClrMarkL"), 0x123456}, {QStringLiteral("ClrMarkT"), 0x654321},
            {QStringLiteral("ClrGridA"), 0x0000FF}, {QStringLiteral("ClrGridB"), 0x00FF00},
            {QStringLiteral("ClrDivs"), 0xABCDEF},  {QStringLiteral("ClrArrow"), 2}};
}

Values withoutMachine(Values v) {
    v.remove(QStringLiteral("Version"));
    return v;
}

bool writeValues(RegistryStorage& reg, const Values& values) {
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString key = keyOf(it.key());
        if (!mRegistry::CreateKey(reg, key) || !mRegistry::SetKeyValue(reg, key, it.key(), *it))
            return false;
    }
    return true;
}

// "ERROR", "empty" or the number, so that whole stores compare and print readably.
QString describe(const RegValue& v) {
    if (v.isError())
        return QStringLiteral("ERROR");
    if (v.isEmpty())
        return QStringLiteral("empty");
    return QString::number(*v.toLong());
}

QString stored(RegistryStorage& reg, const QString& name) {
    return describe(mRegistry::GetKeyValue(reg, keyOf(name), name));
}

QMap<QString, QString> storedAll(RegistryStorage& reg) {
    QMap<QString, QString> all;
    all.insert(QStringLiteral("Version"), stored(reg, QStringLiteral("Version")));
    for (const QString& name : UserNames + OptionNames)
        all.insert(name, stored(reg, name));
    return all;
}

QMap<QString, QString> asStored(const Values& values) {
    QMap<QString, QString> out;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        out.insert(it.key(), QString::number(*it));
    return out;
}

// The window's state in the terms in which it is persisted.
Values observe(const frmMain& w) {
    const Zoom& z = *w.Zoom1;
    return {{QStringLiteral("MainLeft"), w.x() * Twips},
            {QStringLiteral("MainTop"), w.y() * Twips},
            {QStringLiteral("MainWidth"), w.width() * Twips},
            {QStringLiteral("MainHeight"), w.height() * Twips},
            {QStringLiteral("OnTop"), w.gOnTop ? 1 : 0},
            {QStringLiteral("HasGrid"), z.HasGrid() ? 1 : 0},
            {QStringLiteral("ShowBars"), z.ShowBars()},
            {QStringLiteral("ShowMarkers"), z.ShowMarkers() ? 1 : 0},
            {QStringLiteral("ShowCoords"), w.picCoords->isVisibleTo(w.picInfobar) ? 1 : 0},
            {QStringLiteral("FollowMouse"), z.FollowMouse() ? 1 : 0},
            {QStringLiteral("Factor"), z.Factor()},
            {QStringLiteral("Steps"), z.Step()},
            {QStringLiteral("Infobar"), w.picInfobar->isVisibleTo(&w) ? 1 : 0},
            {QStringLiteral("ClrMarkL"), z.ClrMarkersL()},
            {QStringLiteral("ClrMarkT"), z.ClrMarkersT()},
            {QStringLiteral("ClrGridA"), z.ClrGridA()},
            {QStringLiteral("ClrGridB"), z.ClrGridB()},
            {QStringLiteral("ClrDivs"), z.ClrDivs()},
            {QStringLiteral("ClrArrow"), z.ArrowColor()}};
}

// The entries of `expected` that `actual` does not match, one per line.
template <typename Map> QString differences(const Map& actual, const Map& expected) {
    QString out;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()) || actual.value(it.key()) != *it)
            out += QStringLiteral("\n  %1: got %2, expected %3")
                       .arg(it.key(), QVariant(actual.value(it.key())).toString(),
                            QVariant(*it).toString());
    }
    return out;
}

#define COMPARE_MAPS(actual, expected)                                                             \
    do {                                                                                           \
        const QString diff_ = differences((actual), (expected));                                   \
        QVERIFY2(diff_.isEmpty(), qPrintable(diff_));                                              \
    } while (false)

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The store syncs every write to disk, which costs tens of milliseconds on some disks and
// adds up over these many short runs: a memory file system where there is one.
QString scratchTemplate() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/ocula-test_settings-XXXXXX");
}

// A store of its own in a scratch directory, and a window over an in-memory desktop.
struct Setup {
    QTemporaryDir dir{scratchTemplate()};
    FileHiveStorage storage{dir.path()};
    ImageScreenSource source{test::makePatternDesktop(ScreenW, ScreenH)};

    QString machineHive() const { return storage.hiveFilePath(RootKey::LocalMachine); }
    QString userHive() const { return storage.hiveFilePath(RootKey::CurrentUser); }

    std::unique_ptr<frmMain> window() {
        auto w = std::make_unique<frmMain>(&source);
        w->setRegistry(&storage);
        return w;
    }
    // Loaded and shown, as the program starts.
    std::unique_ptr<frmMain> loaded() {
        auto w = window();
        w->Form_Load();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qWarning("the window was not exposed");
        return w;
    }

    // Replaces a stored number by text that is no number, by hand, as a damaged file has it.
    bool garble(const QString& name) {
        const QString path = keyOf(name) == MachineKey ? machineHive() : userHive();
        QString text = QString::fromUtf8(readFile(path));
        const QRegularExpression line(
            QStringLiteral("^(\"%1\"\\s*=\\s*)-?\\d+$").arg(QRegularExpression::escape(name)),
            QRegularExpression::MultilineOption);
        if (!text.contains(line))
            return false;
        text.replace(line, QStringLiteral("\\1not-a-number"));
        return writeFile(path, text.toUtf8());
    }
};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void translateColor_data();
    void translateColor();

    void firstRunWritesEveryDefault_data();
    void firstRunWritesEveryDefault();
    void firstRunOpensWithTheDefaults();
    void colourDefaultsAreFixedWhenWritten();

    void versionIsSetTo30AndNothingElseChanges_data();
    void versionIsSetTo30AndNothingElseChanges();
    void lostMachineKeyKeepsTheUsersValues();
    void machineKeyAloneMeansNoFirstRun();

    void loadAppliesEveryStoredValue();
    void closedBeforeShownSavesWhatItLoaded();
    void nonZeroBooleansReadAsTrueAndSaveAsOne_data();
    void nonZeroBooleansReadAsTrueAndSaveAsOne();
    void windowRectangleIsKeptOnScreen_data();
    void windowRectangleIsKeptOnScreen();
    void shortValuesGoThroughSixteenBits_data();
    void shortValuesGoThroughSixteenBits();
    void unreadableValueLeavesItsTarget_data();
    void unreadableValueLeavesItsTarget();

    void changesDuringTheRunAreSavedAndReadBack();
    void minimizedWindowKeepsThePreviousRectangle();
    void saveStillLandsInKeysDeletedDuringTheRun_data();
    void saveStillLandsInKeysDeletedDuringTheRun();

private:
    QPalette m_palette;
};

void TestSettings::initTestCase() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen != nullptr);
    // Or the primary of the two-screen run, which runs only the placement test.
    const QRect primary = QGuiApplication::screens().size() > 1 ? QRect(1024, 0, 800, 600)
                                                                : QRect(0, 0, ScreenW, ScreenH);
    QCOMPARE(screen->geometry(), primary);
    QCOMPARE(screen->logicalDotsPerInchX(), 96.0);
    QCOMPARE(screen->logicalDotsPerInchY(), 96.0);

    // Distinct colours with distinct channels, so that a colour taken from the wrong role or
    // with its channels swapped cannot pass.
    QPalette pal = QGuiApplication::palette();
    pal.setColor(QPalette::Highlight, QColor(0x11, 0x22, 0x33));
    pal.setColor(QPalette::Button, QColor(0x44, 0x55, 0x66));
    pal.setColor(QPalette::Light, QColor(0x77, 0x88, 0x99));
    pal.setColor(QPalette::Base, QColor(0xAA, 0xBB, 0xCC));
    QApplication::setPalette(pal);
    m_palette = QGuiApplication::palette();
    QCOMPARE(colorValue(QPalette::Highlight), 0x332211);
}

void TestSettings::translateColor_data() {
    QTest::addColumn<int32_t>("color");
    QTest::addColumn<int32_t>("expected");

    QTest::newRow("black") << 0 << 0;
    QTest::newRow("plain colour") << 0x123456 << 0x123456;
    QTest::newRow("white") << 0xFFFFFF << 0xFFFFFF;
    QTest::newRow("top bit clear, high bytes set") << 0x7F000001 << 0x7F000001;
    QTest::newRow("highlight") << int32_t(0x8000000Du) << colorValue(QPalette::Highlight);
    QTest::newRow("button face") << int32_t(0x8000000Fu) << colorValue(QPalette::Button);
    QTest::newRow("button highlight") << int32_t(0x80000014u) << colorValue(QPalette::Light);
    QTest::newRow("window background") << int32_t(0x80000005u) << colorValue(QPalette::Base);
}

void TestSettings::translateColor() {
    QFETCH(int32_t, color);
    QFETCH(int32_t, expected);
    QCOMPARE(settings::TranslateColor(color), expected);
}

void TestSettings::firstRunWritesEveryDefault_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int32_t>("expected");

    const int32_t highlight = colorValue(QPalette::Highlight);
    const int32_t face = colorValue(QPalette::Button);
    const int32_t light = colorValue(QPalette::Light);
    const Values defaults = {{QStringLiteral("Version"), 30},
                             {QStringLiteral("MainLeft"), 3000},
                             {QStringLiteral("MainTop"), 3000},
                             {QStringLiteral("MainWidth"), 6000},
                             {QStringLiteral("MainHeight"), 6300},
                             {QStringLiteral("OnTop"), 1},
                             {QStringLiteral("HasGrid"), 1},
                             {QStringLiteral("ShowBars"), 3},
                             {QStringLiteral("ShowMarkers"), 1},
                             {QStringLiteral("ShowCoords"), 1},
                             {QStringLiteral("FollowMouse"), 1},
                             {QStringLiteral("Factor"), 6},
                             {QStringLiteral("Steps"), 1},
                             {QStringLiteral("Infobar"), 1},
                             {QStringLiteral("ClrMarkL"), highlight},
                             {QStringLiteral("ClrMarkT"), highlight},
                             {QStringLiteral("ClrGridA"), face},
                             {QStringLiteral("ClrGridB"), light},
                             {QStringLiteral("ClrDivs"), light},
                             {QStringLiteral("ClrArrow"), 0}};
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        QTest::newRow(qPrintable(it.key())) << it.key() << *it;
}

void TestSettings::firstRunWritesEveryDefault() {
    QFETCH(QString, name);
    QFETCH(int32_t, expected);

    Setup s;
    const auto w = s.loaded();
    for (const QString& key : {MachineKey, UserKey, OptionsKey})
        QVERIFY2(mRegistry::KeyExists(s.storage, key), qPrintable(key));
    QCOMPARE(stored(s.storage, name), QString::number(expected));
}

void TestSettings::firstRunOpensWithTheDefaults() {
    Setup s;
    const auto w = s.loaded();

    QCOMPARE(QRect(w->x(), w->y(), w->width(), w->height()), QRect(200, 200, 400, 420));
    QCOMPARE(w->Zoom1->Factor(), int16_t(6));
    QCOMPARE(w->windowTitle(), QStringLiteral("Ocula ( x 6 )"));
    QCOMPARE(w->Zoom1->Step(), int16_t(1));
    QVERIFY(w->Zoom1->HasGrid());
    QCOMPARE(w->Zoom1->ShowBars(), 3);
    QVERIFY(w->Zoom1->ShowMarkers());
    QVERIFY(w->Zoom1->FollowMouse());
    QCOMPARE(w->Zoom1->ArrowColor(), 0);
    QCOMPARE(w->Zoom1->ClrMarkersL(), colorValue(QPalette::Highlight));
    QCOMPARE(w->Zoom1->ClrMarkersT(), colorValue(QPalette::Highlight));
    QCOMPARE(w->Zoom1->ClrGridA(), colorValue(QPalette::Button));
    QCOMPARE(w->Zoom1->ClrGridB(), colorValue(QPalette::Light));
    QCOMPARE(w->Zoom1->ClrDivs(), colorValue(QPalette::Light));
    QVERIFY(w->picInfobar->isVisibleTo(w.get()));
    QVERIFY(w->gShowCoords);
    QVERIFY(w->picCoords->isVisibleTo(w->picInfobar));
    QVERIFY(w->gOnTop);
    QVERIFY(isTopmost(w.get()));
}

void TestSettings::colourDefaultsAreFixedWhenWritten() {
    Setup s;
    s.loaded()->Form_Unload();
    const QMap<QString, QString> first = storedAll(s.storage);

    // The desktop's colours change between two runs: the stored colours stay.
    QPalette changed = m_palette;
    changed.setColor(QPalette::Highlight, QColor(0xDE, 0xAD, 0x01));
    changed.setColor(QPalette::Button, QColor(0xDE, 0xAD, 0x02));
    changed.setColor(QPalette::Light, QColor(0xDE, 0xAD, 0x03));
    QApplication::setPalette(changed);
    const auto w = s.loaded();
    QApplication::setPalette(m_palette);

    QCOMPARE(w->Zoom1->ClrMarkersL(), 0x332211);
    QCOMPARE(w->Zoom1->ClrGridA(), 0x665544);
    QCOMPARE(w->Zoom1->ClrGridB(), 0x998877);
    w->Form_Unload();
    QCOMPARE(storedAll(s.storage), first);
}

void TestSettings::versionIsSetTo30AndNothingElseChanges_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int32_t>("version");

    QTest::newRow("29") << "number" << 29;
    QTest::newRow("31") << "number" << 31;
    QTest::newRow("0") << "number" << 0;
    QTest::newRow("-30") << "number" << -30;
    QTest::newRow("already 30") << "number" << 30;
    QTest::newRow("missing") << "missing" << 0;
    QTest::newRow("not a number") << "garbled" << 30;
}

void TestSettings::versionIsSetTo30AndNothingElseChanges() {
    QFETCH(QString, how);
    QFETCH(int32_t, version);

    Setup s;
    Values seed = earlierRun();
    seed[QStringLiteral("Version")] = version;
    if (how == QLatin1String("missing"))
        seed.remove(QStringLiteral("Version"));
    QVERIFY(writeValues(s.storage, seed));
    QVERIFY(mRegistry::CreateKey(s.storage, MachineKey));
    if (how == QLatin1String("garbled"))
        QVERIFY(s.garble(QStringLiteral("Version")));
    const QByteArray userHive = readFile(s.userHive());
    const QByteArray machineHive = readFile(s.machineHive());

    const auto w = s.loaded();
    QCOMPARE(stored(s.storage, QStringLiteral("Version")), QStringLiteral("30"));
    QCOMPARE(readFile(s.userHive()), userHive);
    if (how == QLatin1String("number") && version == 30)
        QCOMPARE(readFile(s.machineHive()), machineHive);
    COMPARE_MAPS(observe(*w), withoutMachine(earlierRun()));
}

void TestSettings::lostMachineKeyKeepsTheUsersValues() {
    Setup s;
    QVERIFY(writeValues(s.storage, withoutMachine(earlierRun())));
    QVERIFY(!QFile::exists(s.machineHive()));
    const QMap<QString, QString> before = storedAll(s.storage);

    const auto w = s.loaded();
    QMap<QString, QString> expected = before;
    expected[QStringLiteral("Version")] = QStringLiteral("30");
    COMPARE_MAPS(storedAll(s.storage), expected);
    COMPARE_MAPS(observe(*w), withoutMachine(earlierRun()));
}

// Only the machine key decides a first run: missing user values are not filled in.
void TestSettings::machineKeyAloneMeansNoFirstRun() {
    Setup s;
    QVERIFY(writeValues(s.storage, {{QStringLiteral("Version"), 30}}));
    // Not shown: with no stored size the window is 0 x 0 and never exposed.
    const auto w = s.window();
    w->Form_Load();

    QMap<QString, QString> expected;
    for (const QString& name : UserNames + OptionNames)
        expected.insert(name, QStringLiteral("ERROR"));
    expected.insert(QStringLiteral("Version"), QStringLiteral("30"));
    COMPARE_MAPS(storedAll(s.storage), expected);
}

void TestSettings::loadAppliesEveryStoredValue() {
    Setup s;
    QVERIFY(writeValues(s.storage, earlierRun()));
    const auto w = s.loaded();

    COMPARE_MAPS(observe(*w), withoutMachine(earlierRun()));
    QVERIFY(w->gShowCoords);
    QVERIFY(isTopmost(w.get()));
    QCOMPARE(w->windowTitle(), QStringLiteral("Ocula ( x 9 )"));

    // Saving straight away writes back exactly what was read.
    w->Form_Unload();
    COMPARE_MAPS(storedAll(s.storage), asStored(earlierRun()));
}

// Closed during start-up, before it was ever shown, the window must not save a rectangle
// shifted by its frame, or every such run would move it further.
void TestSettings::closedBeforeShownSavesWhatItLoaded() {
    Setup s;
    QVERIFY(writeValues(s.storage, earlierRun()));
    for (int run = 0; run < 2; ++run) {
        const auto w = s.window();
        w->Form_Load();
        w->Form_Unload();
    }
    COMPARE_MAPS(storedAll(s.storage), asStored(earlierRun()));
}

void TestSettings::nonZeroBooleansReadAsTrueAndSaveAsOne_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int32_t>("value");
    QTest::addColumn<bool>("on");

    for (const char* name :
         {"OnTop", "HasGrid", "ShowMarkers", "ShowCoords", "FollowMouse", "Infobar"}) {
        QTest::addRow("%s 2", name) << QString::fromLatin1(name) << 2 << true;
        QTest::addRow("%s -1", name) << QString::fromLatin1(name) << -1 << true;
        QTest::addRow("%s 0x10000", name) << QString::fromLatin1(name) << 0x10000 << true;
        QTest::addRow("%s 0", name) << QString::fromLatin1(name) << 0 << false;
    }
}

void TestSettings::nonZeroBooleansReadAsTrueAndSaveAsOne() {
    QFETCH(QString, name);
    QFETCH(int32_t, value);
    QFETCH(bool, on);

    Setup s;
    Values seed = earlierRun();
    seed[name] = value;
    QVERIFY(writeValues(s.storage, seed));
    const auto w = s.loaded();

    QCOMPARE(observe(*w).value(name), on ? 1 : 0);
    if (name == QLatin1String("OnTop"))
        QCOMPARE(isTopmost(w.get()), on);
    if (name == QLatin1String("ShowCoords"))
        QCOMPARE(w->gShowCoords, on);

    w->Form_Unload();
    QCOMPARE(stored(s.storage, name), on ? QStringLiteral("1") : QStringLiteral("0"));
}

// Rows for the configuration the test runs in: the one screen of 1280 x 1024, or (the
// screens-two.json run) a primary of 800 x 600 at 1024, 0 right of a 1024 x 768 monitor.
void TestSettings::windowRectangleIsKeptOnScreen_data() {
    QTest::addColumn<int32_t>("left");
    QTest::addColumn<int32_t>("top");
    QTest::addColumn<int32_t>("width");
    QTest::addColumn<int32_t>("height");
    // A value left out of the store; FirstRun: nothing stored at all.
    QTest::addColumn<QString>("unreadable");
    QTest::addColumn<QRect>("expected");
    // The screen on which the options dialog then opens centred; empty: not checked.
    QTest::addColumn<QString>("dialogScreen");

    const QString none;
    auto row = [](const char* name, int32_t left, int32_t top, int32_t width, int32_t height,
                  const QString& unreadable, const QRect& expected, const QString& dialog = {}) {
        QTest::newRow(name) << left << top << width << height << unreadable << expected << dialog;
    };
    if (QGuiApplication::screens().size() > 1) {
        const QRect firstRun(1224, 180, 400, 420);
        const QString primary = QStringLiteral("a-primary");
        const QString left = QStringLiteral("b-left");
        row("first run: on the primary, moved up to fit", 0, 0, 0, 0, FirstRun, firstRun, primary);
        row("on the monitor left of the primary", 1500, 2250, 7500, 6000, none,
            QRect(100, 150, 500, 400), left);
        row("on the primary", 16500, 2250, 7500, 6000, none, QRect(1100, 150, 500, 400), primary);
        row("where a removed monitor was", 28500, 2250, 7500, 6000, none, firstRun, primary);
        row("below the primary, beside the other", 16500, 9750, 7500, 6000, none, firstRun);
        row("no width", 1500, 2250, 0, 6000, none, firstRun, primary);
        return;
    }
    const QRect firstRun(200, 200, 400, 420);
    row("as stored", 1500, 2250, 7500, 6000, none, QRect(100, 150, 500, 400));
    row("wider than the screen", 3000, 3000, 30000, 6300, none, QRect(200, 200, ScreenW, 420));
    row("taller than the screen", 3000, 3000, 6000, 20000, none, QRect(200, 200, 400, ScreenH));
    row("both larger than the screen", 750, 450, 40000, 40000, none,
        QRect(50, 30, ScreenW, ScreenH));
    row("exactly the screen", 0, 0, ScreenW * Twips, ScreenH * Twips, none,
        QRect(0, 0, ScreenW, ScreenH));
    row("left of the screen", -120, 3000, 6000, 6300, none, QRect(0, 200, 400, 420));
    row("above the screen", 3000, -15, 6000, 6300, none, QRect(200, 0, 400, 420));
    row("far negative", INT32_MIN, INT32_MIN, 6000, 6300, none, QRect(0, 0, 400, 420));
    row("reaching past the right and bottom edges", 18000, 13500, 6000, 6300, none,
        QRect(1200, 900, 400, 420));
    row("left unreadable", 3000, 3000, 6000, 6300, "MainLeft", QRect(0, 200, 400, 420));
    row("top unreadable", 3000, 3000, 6000, 6300, "MainTop", QRect(200, 0, 400, 420));
    // Rectangles that cannot show the window open as on a first run.
    row("first run", 0, 0, 0, 0, FirstRun, firstRun, QStringLiteral("s1"));
    row("no width", 1500, 2250, 0, 6000, none, firstRun);
    row("no height", 1500, 2250, 7500, 0, none, firstRun);
    row("width unreadable", 1500, 2250, 7500, 6000, "MainWidth", firstRun);
    row("too narrow to use", 1500, 2250, 31 * Twips, 6000, none, firstRun);
    row("narrowest kept", 1500, 2250, 32 * Twips, 6000, none, QRect(100, 150, 32, 400));
    row("too low to use", 1500, 2250, 7500, 31 * Twips, none, firstRun);
    row("wholly right of the screen", 1400 * Twips, 2250, 7500, 6000, none, firstRun);
    row("wholly below the screen", 1500, 1100 * Twips, 7500, 6000, none, firstRun);
    row("a sliver left on the screen", 1260 * Twips, 2250, 7500, 6000, none, firstRun);
    row("a corner left on the screen", 1248 * Twips, 992 * Twips, 7500, 6000, none,
        QRect(1248, 992, 500, 400));
}

void TestSettings::windowRectangleIsKeptOnScreen() {
    QFETCH(int32_t, left);
    QFETCH(int32_t, top);
    QFETCH(int32_t, width);
    QFETCH(int32_t, height);
    QFETCH(QString, unreadable);
    QFETCH(QRect, expected);
    QFETCH(QString, dialogScreen);

    Setup s;
    if (unreadable != FirstRun) {
        Values seed = earlierRun();
        seed[QStringLiteral("MainLeft")] = left;
        seed[QStringLiteral("MainTop")] = top;
        seed[QStringLiteral("MainWidth")] = width;
        seed[QStringLiteral("MainHeight")] = height;
        if (!unreadable.isEmpty())
            seed.remove(unreadable);
        QVERIFY(writeValues(s.storage, seed));
    }

    const auto w = s.loaded();
    QCOMPARE(QRect(w->x(), w->y(), w->width(), w->height()), expected);
    if (!dialogScreen.isEmpty()) {
        frmOptions dlg(*w);
        dlg.show();
        const QScreen* screen = QGuiApplication::screenAt(dlg.frameGeometry().center());
        QVERIFY(screen != nullptr);
        QCOMPARE(screen->name(), dialogScreen);
        const QPoint off = dlg.frameGeometry().center() - screen->geometry().center();
        QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
                 qPrintable(QStringLiteral("%1, %2 off centre").arg(off.x()).arg(off.y())));
    }

    w->Form_Unload();
    QCOMPARE(stored(s.storage, QStringLiteral("MainLeft")), QString::number(expected.x() * Twips));
    QCOMPARE(stored(s.storage, QStringLiteral("MainTop")), QString::number(expected.y() * Twips));
    QCOMPARE(stored(s.storage, QStringLiteral("MainWidth")),
             QString::number(expected.width() * Twips));
    QCOMPARE(stored(s.storage, QStringLiteral("MainHeight")),
             QString::number(expected.height() * Twips));
}

void TestSettings::shortValuesGoThroughSixteenBits_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int32_t>("value");
    // -1: the control keeps the value it had before the settings were loaded.
    QTest::addColumn<int>("expected");

    const QString factor = QStringLiteral("Factor");
    const QString steps = QStringLiteral("Steps");
    // Beyond 16 bits: cut to 16 bits these would be 4464, -4464, -32768, 32767 and 25536.
    QTest::newRow("Factor 70000") << factor << 70000 << -1;
    QTest::newRow("Factor -70000") << factor << -70000 << -1;
    QTest::newRow("Factor 32768") << factor << 32768 << -1;
    QTest::newRow("Factor -32769") << factor << -32769 << -1;
    QTest::newRow("Steps 70000") << steps << 70000 << -1;
    QTest::newRow("Steps -40000") << steps << -40000 << -1;
    QTest::newRow("Steps 32768") << steps << 32768 << -1;
    // Within 16 bits the control's own range rules apply.
    QTest::newRow("Factor 32767") << factor << 32767 << 100;
    QTest::newRow("Factor -32768") << factor << -32768 << 1;
    QTest::newRow("Factor 0") << factor << 0 << 1;
    QTest::newRow("Factor 100") << factor << 100 << 100;
    QTest::newRow("Steps 32767") << steps << 32767 << 32767;
    QTest::newRow("Steps 0") << steps << 0 << 1;
}

void TestSettings::shortValuesGoThroughSixteenBits() {
    QFETCH(QString, name);
    QFETCH(int32_t, value);
    QFETCH(int, expected);

    Setup s;
    const int32_t before = observe(*s.window()).value(name);
    // The design values differ from the seeded ones, so a kept value shows.
    QCOMPARE_NE(before, earlierRun().value(name));
    if (expected < 0)
        expected = before;

    Values seed = earlierRun();
    seed[name] = value;
    QVERIFY(writeValues(s.storage, seed));
    const auto w = s.loaded();
    QCOMPARE(observe(*w).value(name), expected);

    // The other one of the pair is read as usual.
    const QString other =
        name == QLatin1String("Factor") ? QStringLiteral("Steps") : QStringLiteral("Factor");
    QCOMPARE(observe(*w).value(other), earlierRun().value(other));

    w->Form_Unload();
    QCOMPARE(stored(s.storage, name), QString::number(expected));
}

void TestSettings::unreadableValueLeavesItsTarget_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("garbled");

    for (const QString& name : OptionNames)
        QTest::addRow("%s missing", qPrintable(name)) << name << false;
    for (const char* name : {"ShowCoords", "OnTop", "Factor", "HasGrid", "ClrGridA", "ShowBars"})
        QTest::addRow("%s not a number", name) << QString::fromLatin1(name) << true;
}

void TestSettings::unreadableValueLeavesItsTarget() {
    QFETCH(QString, name);
    QFETCH(bool, garbled);

    Setup s;
    Values expected = withoutMachine(earlierRun());
    {
        const auto fresh = s.window();
        expected[name] = observe(*fresh).value(name);
    }
    // Both flags start a run as false.
    if (name == QLatin1String("ShowCoords") || name == QLatin1String("OnTop"))
        expected[name] = 0;

    Values seed = earlierRun();
    if (!garbled)
        seed.remove(name);
    QVERIFY(writeValues(s.storage, seed));
    if (garbled)
        QVERIFY(s.garble(name));
    QCOMPARE(stored(s.storage, name), QStringLiteral("ERROR"));

    const auto w = s.loaded();
    // The unreadable value keeps its target; every other value is applied.
    COMPARE_MAPS(observe(*w), expected);
    QCOMPARE(w->gShowCoords, expected.value(QStringLiteral("ShowCoords")) != 0);
    QCOMPARE(isTopmost(w.get()), expected.value(QStringLiteral("OnTop")) != 0);
}

void TestSettings::changesDuringTheRunAreSavedAndReadBack() {
    Setup s;
    const Values changed = {
        {QStringLiteral("MainLeft"), 4500},     {QStringLiteral("MainTop"), 3750},
        {QStringLiteral("MainWidth"), 7500},    {QStringLiteral("MainHeight"), 5700},
        {QStringLiteral("OnTop"), 0},           {QStringLiteral("HasGrid"), 0},
        {QStringLiteral("ShowBars"), 1},        {QStringLiteral("ShowMarkers"), 0},
        {QStringLiteral("ShowCoords"), 0},      {QStringLiteral("FollowMouse"), 0},
        {QStringLiteral("Factor"), 12},         {QStringLiteral("Steps"), 3},
        {QStringLiteral("Infobar"), 0},         {QStringLiteral("ClrMarkL"), 0x0000FF},
        {QStringLiteral("ClrMarkT"), 0x00FF00}, {QStringLiteral("ClrGridA"), 0xFF0000},
        {QStringLiteral("ClrGridB"), 0x010203}, {QStringLiteral("ClrDivs"), 0x808080},
        {QStringLiteral("ClrArrow"), 3}};
    {
        const auto w = s.loaded();
        Zoom& z = *w->Zoom1;
        z.setFactor(12);
        w->Zoom1_KeyDown('G', 0);
        w->Zoom1_KeyDown('F', 0);
        w->toggleInfobar();
        w->toggleCoords();
        z.setShowBars(1);
        z.setShowMarkers(false);
        z.setStep(3);
        z.setClrMarkersL(0x0000FF);
        z.setClrMarkersT(0x00FF00);
        z.setClrGridA(0xFF0000);
        z.setClrGridB(0x010203);
        z.setClrDivs(0x808080);
        z.setArrowColor(3);
        // As the options dialog turns keep-on-top off.
        w->gOnTop = false;
        setTopmost(w.get(), false);
        w->move(300, 250);
        w->resize(500, 380);
        w->Form_Unload();
    }
    COMPARE_MAPS(storedAll(s.storage), asStored(changed));

    const auto next = s.loaded();
    COMPARE_MAPS(observe(*next), changed);
    QVERIFY(!next->gShowCoords);
    QVERIFY(!isTopmost(next.get()));
    QCOMPARE(next->windowTitle(), QStringLiteral("Ocula ( x 12 )"));
}

void TestSettings::minimizedWindowKeepsThePreviousRectangle() {
    Setup s;
    QVERIFY(writeValues(s.storage, earlierRun()));
    const auto w = s.loaded();
    w->move(400, 300);
    w->resize(600, 500);
    w->Zoom1->setFactor(14);
    w->Zoom1_KeyDown('G', 0);
    w->toggleInfobar();
    w->showMinimized();
    QVERIFY(w->isMinimized());
    w->Form_Unload();

    Values expected = earlierRun();
    expected[QStringLiteral("Factor")] = 14;
    expected[QStringLiteral("HasGrid")] = 1;
    expected[QStringLiteral("Infobar")] = 1;
    COMPARE_MAPS(storedAll(s.storage), asStored(expected));
}

void TestSettings::saveStillLandsInKeysDeletedDuringTheRun_data() {
    QTest::addColumn<bool>("wholeUserHive");

    QTest::newRow("user key deleted") << true;
    QTest::newRow("options key deleted") << false;
}

void TestSettings::saveStillLandsInKeysDeletedDuringTheRun() {
    QFETCH(bool, wholeUserHive);

    Setup s;
    QVERIFY(writeValues(s.storage, earlierRun()));
    const auto w = s.loaded();
    w->Zoom1->setFactor(13);
    w->Zoom1->setClrDivs(0x0A0B0C);

    if (wholeUserHive) {
        QVERIFY(QFile::remove(s.userHive()));
        QVERIFY(!mRegistry::KeyExists(s.storage, UserKey));
    } else {
        // Keep the user key and its values, drop the options section.
        QString text = QString::fromUtf8(readFile(s.userHive()));
        const QRegularExpression options(
            QStringLiteral("^\\[Software\\\\Tarnwick\\\\Ocula\\\\Options\\][^\\[]*"),
            QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
        QVERIFY(text.contains(options));
        text.remove(options);
        QVERIFY(writeFile(s.userHive(), text.toUtf8()));
        QVERIFY(mRegistry::KeyExists(s.storage, UserKey));
        QVERIFY(!mRegistry::KeyExists(s.storage, OptionsKey));
    }
    w->Form_Unload();

    Values expected = earlierRun();
    expected[QStringLiteral("Factor")] = 13;
    expected[QStringLiteral("ClrDivs")] = 0x0A0B0C;
    COMPARE_MAPS(storedAll(s.storage), asStored(expected));
}

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
