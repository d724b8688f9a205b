// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "settings/settingsstore.h"

#include "common/colors.h"
#include "common/rounding.h"
#include "common/twips.h"
#include "common/uiscale.h"
#include "magnifier/zoom.h"
#include "mainwindow/frmmain.h"
#include "platform/window.h"
#include "settings/mregistry.h"
#include "settings/regvalue.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstring>

namespace ocula::settings {

const QString kMachineKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Ocula");
const QString kUserKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnwick\\Ocula");
const QString kOptionsKey = kUserKey + QStringLiteral("\\Options");

namespace {

const QString& keyPath(Where where) {
    switch (where) {
    case Where::Machine:
        return kMachineKey;
    case Where::User:
        return kUserKey;
    default:
        return kOptionsKey;
    }
}

void applyBool(const RegValue& v, const auto& set) {
    if (const auto b = v.toBool())
        set(*b);
}
void applyLong(const RegValue& v, const auto& set) {
    if (const auto n = v.toLong())
        set(*n);
}
void applyShort(const RegValue& v, const auto& set) {
    if (const auto n = v.toShort())
        set(*n);
}

// The one list of persisted values, in first-run order; the first-run window is as large as
// at 96 dpi at any scale. The window rectangle and the version are read by the load
// sequence itself.
const std::vector<PersistedValue> kValues = {
    {"Version", Where::Machine, [] { return kSettingsVersion; }, nullptr, nullptr},
    {"MainLeft", Where::User, [] { return pixelsToTwipsX(scaled(200)); }, nullptr,
     [](const frmMain& w) { return pixelsToTwipsX(w.pos().x()); }},
    {"MainTop", Where::User, [] { return pixelsToTwipsY(scaled(200)); }, nullptr,
     [](const frmMain& w) { return pixelsToTwipsY(w.pos().y()); }},
    {"MainWidth", Where::User, [] { return pixelsToTwipsX(scaled(400)); }, nullptr,
     [](const frmMain& w) { return pixelsToTwipsX(w.width()); }},
    {"MainHeight", Where::User, [] { return pixelsToTwipsY(scaled(420)); }, nullptr,
     [](const frmMain& w) { return pixelsToTwipsY(w.height()); }},
    {"OnTop", Where::Options, [] { return 1; },
     [](frmMain& w, const RegValue& v) { applyBool(v, [&](bool b) { w.gOnTop = b; }); },
     [](const frmMain& w) { return int32_t(w.gOnTop ? 1 : 0); }},
    {"HasGrid", Where::Options, [] { return 1; },
     [](frmMain& w, const RegValue& v) { applyBool(v, [&](bool b) { w.Zoom1->setHasGrid(b); }); },
     [](const frmMain& w) { return int32_t(w.Zoom1->HasGrid() ? 1 : 0); }},
    {"ShowBars", Where::Options, [] { return 3; },
     [](frmMain& w, const RegValue& v) {
         applyLong(v, [&](int32_t n) { w.Zoom1->setShowBars(n); });
     },
     [](const frmMain& w) { return w.Zoom1->ShowBars(); }},
    {"ShowMarkers", Where::Options, [] { return 1; },
     [](frmMain& w, const RegValue& v) {
         applyBool(v, [&](bool b) { w.Zoom1->setShowMarkers(b); });
     },
     [](const frmMain& w) { return int32_t(w.Zoom1->ShowMarkers() ? 1 : 0); }},
    {"ShowCoords", Where::Options, [] { return 1; },
     [](frmMain& w, const RegValue& v) { applyBool(v, [&](bool b) { w.gShowCoords = b; }); },
     [](const frmMain& w) { return int32_t(w.picCoords->isVisibleTo(w.picInfobar) ? 1 : 0); }},
    {"FollowMouse", Where::Options, [] { return 1; },
     [](frmMain& w, const RegValue& v) {
         applyBool(v, [&](bool b) { w.Zoom1->setFollowMouse(b); });
     },
     [](const frmMain& w) { return int32_t(w.Zoom1->FollowMouse() ? 1 : 0); }},
    {"Factor", Where::Options, [] { return 6; },
     [](frmMain& w, const RegValue& v) {
         applyShort(v, [&](int16_t n) { w.Zoom1->setFactor(n); });
     },
     [](const frmMain& w) { return int32_t(w.Zoom1->Factor()); }},
    {"Steps", Where::Options, [] { return 1; },
     [](frmMain& w, const RegValue& v) { applyShort(v, [&](int16_t n) { w.Zoom1->setStep(n); }); },
     [](const frmMain& w) { return int32_t(w.Zoom1->Step()); }},
    {"Infobar", Where::Options, [] { return 1; },
     [](frmMain& w, const RegValue& v) {
         applyBool(v, [&](bool b) { w.picInfobar->setVisible(b); });
     },
     [](const frmMain& w) { return int32_t(w.picInfobar->isVisibleTo(&w) ? 1 : 0); }},
    {"ClrMarkL", Where::Options, [] { return TranslateColor(kSysHighlight); },
     [](frmMain& w, const RegValue& v) {
         applyLong(v, [&](int32_t n) { w.Zoom1->setClrMarkersL(n); });
     },
     [](const frmMain& w) { return w.Zoom1->ClrMarkersL(); }},
    {"ClrMarkT", Where::Options, [] { return TranslateColor(kSysHighlight); },
     [](frmMain& w, const RegValue& v) {
         applyLong(v, [&](int32_t n) { w.Zoom1->setClrMarkersT(n); });
     },
     [](const frmMain& w) { return w.Zoom1->ClrMarkersT(); }},
    {"ClrGridA", Where::Options, [] { return TranslateColor(kSysButtonFace); },
     [](frmMain& w, const RegValue& v) {
         applyLong(v, [&](int32_t n) { w.Zoom1->setClrGridA(n); });
     },
     [](const frmMain& w) { return w.Zoom1->ClrGridA(); }},
    {"ClrGridB", Where::Options, [] { return TranslateColor(kSysButtonHighlight); },
     [](frmMain& w, const RegValue& v) {
         applyLong(v, [&](int32_t n) { w.Zoom1->setClrGridB(n); });
     },
     [](const frmMain& w) { return w.Zoom1->ClrGridB(); }},
    {"ClrDivs", Where::Options, [] { return TranslateColor(kSysButtonHighlight); },
     [](frmMain& w, const RegValue& v) {
         applyLong(v, [&](int32_t n) { w.Zoom1->setClrDivs(n); });
     },
     [](const frmMain& w) { return w.Zoom1->ClrDivs(); }},
    {"ClrArrow", Where::Options, [] { return 0; },
     [](frmMain& w, const RegValue& v) {
         applyLong(v, [&](int32_t n) { w.Zoom1->setArrowColor(n); });
     },
     [](const frmMain& w) { return w.Zoom1->ArrowColor(); }},
};

// Loading applies the options in this order (the factor last, so that the bars and the
// caption are drawn once with everything else in place); saving writes them in the other.
constexpr const char* kLoadOrder[] = {
    "HasGrid",  "ShowBars", "ShowMarkers", "FollowMouse", "Steps",  "ClrMarkL", "ClrMarkT",
    "ClrGridA", "ClrGridB", "ClrDivs",     "ClrArrow",    "Factor", "Infobar",  "ShowCoords"};
constexpr const char* kSaveOrder[] = {
    "MainLeft",    "MainTop",  "MainWidth", "MainHeight", "HasGrid",   "ShowBars", "ShowMarkers",
    "FollowMouse", "Factor",   "Steps",     "ClrMarkL",   "ClrMarkT",  "ClrGridA", "ClrGridB",
    "ClrDivs",     "ClrArrow", "OnTop",     "Infobar",    "ShowCoords"};

const PersistedValue& valueNamed(const char* name) {
    const auto it = std::find_if(kValues.begin(), kValues.end(), [name](const PersistedValue& v) {
        return std::strcmp(v.name, name) == 0;
    });
    Q_ASSERT(it != kValues.end());
    return *it;
}

RegValue read(RegistryStorage& reg, const char* name) {
    const PersistedValue& v = valueNamed(name);
    return mRegistry::GetKeyValue(reg, keyPath(v.where), QString::fromLatin1(name));
}

// A window narrower or lower than this, or with less than this much of it on every screen,
// is one the user cannot see or get hold of (pixels).
constexpr int kMinUsable = 32;

bool canShow(const QRect& window) {
    if (window.width() < kMinUsable || window.height() < kMinUsable)
        return false;
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&window](const QScreen* screen) {
        const QRect part = window.intersected(screen->geometry());
        return part.width() >= kMinUsable && part.height() >= kMinUsable;
    });
}

// The first-run rectangle, on the primary screen (which need not be the one at the
// desktop's origin) and shrunk and moved until it lies wholly in its free area.
QRect firstRunWindow() {
    auto pixelsX = [](const char* name) { return twipsToPixelsX(valueNamed(name).firstRun()); };
    auto pixelsY = [](const char* name) { return twipsToPixelsY(valueNamed(name).firstRun()); };
    QRect window(pixelsX("MainLeft"), pixelsY("MainTop"), pixelsX("MainWidth"),
                 pixelsY("MainHeight"));
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr)
        return window;
    window.translate(primary->geometry().topLeft());
    const QRect area = primary->availableGeometry();
    window.setSize(window.size().boundedTo(area.size()));
    window.moveLeft(
        std::clamp(window.left(), area.left(), area.x() + area.width() - window.width()));
    window.moveTop(
        std::clamp(window.top(), area.top(), area.y() + area.height() - window.height()));
    return window;
}

QSize screenTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize px = screen != nullptr ? screen->geometry().size() : QSize(0, 0);
    return QSize(pixelsToTwipsX(px.width()), pixelsToTwipsY(px.height()));
}

} // namespace

const std::vector<PersistedValue>& persistedValues() {
    return kValues;
}

int32_t TranslateColor(int32_t color) {
    return isSystemColor(color) ? colorValueFromRgb(resolveColor(color)) : color;
}

bool InitSettings(RegistryStorage& reg) {
    const QString version = QStringLiteral("Version");
    if (mRegistry::KeyExists(reg, kMachineKey)) {
        const RegValue stored = mRegistry::GetKeyValue(reg, kMachineKey, version);
        if (stored.toLong() != kSettingsVersion || !stored.isInteger())
            mRegistry::SetKeyValue(reg, kMachineKey, version, kSettingsVersion);
        return false;
    }
    // Without the machine key this looks like a first run; but a user key already there
    // proves an earlier one (the machine key may have been lost or never kept), and the
    // defaults must never overwrite what the user chose.
    const bool earlierRun = mRegistry::KeyExists(reg, kUserKey);
    mRegistry::CreateKey(reg, kMachineKey);
    mRegistry::CreateKey(reg, kUserKey);
    mRegistry::CreateKey(reg, kOptionsKey);
    mRegistry::SetKeyValue(reg, kMachineKey, version, kSettingsVersion);
    if (earlierRun)
        return false;
    for (const PersistedValue& v : kValues) {
        if (v.where != Where::Machine)
            mRegistry::SetKeyValue(reg, keyPath(v.where), QString::fromLatin1(v.name),
                                   v.firstRun());
    }
    return true;
}

void LoadSettings(frmMain& w, RegistryStorage& reg) {
    const bool firstRun = InitSettings(reg);

    // An unreadable coordinate counts as 0 and is then checked like any other.
    auto coordinate = [&reg](const char* name) { return read(reg, name).toLong().value_or(0); };
    int32_t left = coordinate("MainLeft");
    int32_t top = coordinate("MainTop");
    int32_t width = coordinate("MainWidth");
    int32_t height = coordinate("MainHeight");
    const QSize screen = screenTwips();
    left = std::max(left, 0);
    top = std::max(top, 0);
    if (screen.width() < width)
        width = screen.width();
    if (screen.height() < height)
        height = screen.height();
    QRect window(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width),
                 twipsToPixelsY(height));
    // A rectangle that cannot show the window (no size, or on a monitor that is gone) would
    // leave the user nothing to put right: it opens as on a first run.
    if (firstRun || !canShow(window))
        window = firstRunWindow();

    for (const char* name : kLoadOrder)
        valueNamed(name).apply(w, read(reg, name));
    w.picCoords->setVisible(w.gShowCoords);

    w.move(window.topLeft());
    w.resize(window.size());

    valueNamed("OnTop").apply(w, read(reg, "OnTop"));
    setTopmost(&w, w.gOnTop);
}

void SaveSettings(frmMain& w, RegistryStorage& reg) {
    // A key removed while the program ran would otherwise swallow the whole session's
    // settings: writing never creates keys, so make sure they are there first.
    mRegistry::CreateKey(reg, kUserKey);
    mRegistry::CreateKey(reg, kOptionsKey);
    const bool minimized = w.isMinimized();
    for (const char* name : kSaveOrder) {
        const PersistedValue& v = valueNamed(name);
        if (minimized && v.where == Where::User)
            continue; // a minimized window keeps the rectangle it had before
        mRegistry::SetKeyValue(reg, keyPath(v.where), QString::fromLatin1(name), v.current(w));
    }
}

} // namespace ocula::settings
