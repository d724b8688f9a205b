// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "common/rounding.h"
#include "common/uiscale.h"
#include "magnifier/zoom.h"
#include "mainwindow/frmmain.h"
#include "ocula_config.h"
#include "platform/displayscale.h"
#include "platform/registrystorage.h"
#include "platform/screensource.h"
#include "platform/signals.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QStringList>
#include <QThread>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace {

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
constexpr bool kX11Desktop = true;
#else
constexpr bool kX11Desktop = false;
#endif

constexpr const char* kUsage =
    "Usage: ocula [--help | --version]\n"
    "\n"
    "Ocula shows the screen around the mouse pointer enlarged in its window.\n"
    "It takes no other arguments: everything is set in the window (right-click the\n"
    "view for its menu) and kept in the user's settings. It reads the screen through\n"
    "X11 in an X session, and through the desktop's screen-sharing portal (PipeWire)\n"
    "in a Wayland session. The keys and mouse actions are listed in \"man ocula\" and\n"
    "in the README.\n"
    "\n"
    "  --help       print this help and exit\n"
    "  --version    print the version and exit\n"
    // keys: begin (written by tools/keys.py from docs/keys.txt)
    "\n"
    "Following and freezing:\n"
    "  Esc: freeze the view where it is\n"
    "  Backspace: release a frozen view\n"
    "  F: switch between following the mouse and a fixed centre\n"
    "  Left, Right, Up, Down: while frozen or fixed, move the centre by one\n"
    "      screen pixel (Left and Up count up, Right and Down count down)\n"
    "  Enter: in the X : or Y : box, while frozen or fixed, centre the view on\n"
    "      the typed screen coordinate\n"
    "Zoom:\n"
    "  Mouse wheel: backward zooms in, forward zooms out, one step a notch (the\n"
    "      title shows the factor: Ocula ( x 6 ))\n"
    "  Keypad +: zoom in one step, up to 100x\n"
    "  Keypad -: zoom out one step, down to 1x\n"
    "  Keypad *: zoom to 10x\n"
    "Showing and hiding:\n"
    "  G: the pixel grid (drawn from 3x)\n"
    "  B: the ruler bars\n"
    "  M: the markers\n"
    "  I: the info bar\n"
    "  C: the coordinates panel of the info bar\n"
    "Measuring:\n"
    "  Ctrl+left click: on a ruler bar, put its marker 1 on the nearest pixel\n"
    "      boundary\n"
    "  Ctrl+right click: on a ruler bar, put its marker 2 there\n"
    "  Shift+Left, Shift+Right: move the top bar's marker 1 by one pixel\n"
    "  Shift+Up, Shift+Down: move the left bar's marker 1 by one pixel\n"
    "  Ctrl+Left, Ctrl+Right, Ctrl+Up, Ctrl+Down: the same for marker 2\n"
    "  Right click: on a ruler bar, a menu that shows or hides its markers\n"
    "Colours:\n"
    "  K: copy the colour in the info bar as #RRGGBB (the view centre's, or over\n"
    "      a frozen or fixed view the pixel under the pointer)\n"
    "  Shift+K: copy that colour as rgb(R, G, B)\n"
    "  P: pin the colour: the info bar then shows its contrast ratio with the\n"
    "      current colour (WCAG 2) and the level for normal text\n"
    "  Shift+P: unpin the colour\n"
    "  V: copy the view as shown, grid and marker lines included, as a PNG image\n"
    "  Shift+V: copy the screen pixels the view shows at 1:1 (off the screen:\n"
    "      transparent)\n"
    "Menu (right click on the view):\n"
    "  Infobar: show or hide the info bar\n"
    "  Copy Colour, Copy Colour as RGB: as K and Shift+K, for the pixel under the\n"
    "      click\n"
    "  Copy View, Copy Pixels: as V and Shift+V\n"
    "  Save View As...: save the view as shown, or its pixels at 1:1, as a PNG\n"
    "      file (ocula-X-Y-xF.png in the Pictures folder)\n"
    "  Options: the options dialog (zoom factor, division step, bars and markers,\n"
    "      the arrow colour and five colours, following the mouse, the\n"
    "      coordinates panel, keeping the window on top); OK applies, Esc cancels\n"
    "  About: the name, version and licence of Ocula\n"
    // keys: end
    ;

bool isOption(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "--version") == 0;
}

// The exit status when the command line alone decides the run, or -1 to open the window.
int handleArguments(int argc, char* argv[]) {
    if (argc <= 1)
        return -1;
    for (int i = 1; i < argc; ++i) {
        if (!isOption(argv[i])) {
            std::fprintf(stderr, "ocula: unknown argument '%s' (see ocula --help)\n", argv[i]);
            return 2;
        }
    }
    if (argc > 2) {
        std::fputs("ocula: give --help or --version alone\n", stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0)
        std::fputs(kUsage, stdout);
    else
        std::printf("Ocula %s\n", OCULA_VERSION);
    return EXIT_SUCCESS;
}

// Picks the window system. In a Wayland session the screen is read through the desktop's
// screen-cast portal whatever the window runs on, and an X11 window through Xwayland is
// preferred where there is one: only it can ask to stay on top of other windows. Returns
// why the program cannot run here, or nullptr.
const char* chooseDisplay() {
    if (!kX11Desktop)
        return nullptr;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool desktopPlatform =
        platform.isEmpty() || platform.contains("xcb") || platform.contains("wayland");
    if (!desktopPlatform)
        return nullptr; // offscreen, vnc and the like: the caller knows what it asked for
    const bool wayland = OCULA_WITH_PIPEWIRE && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // Asked for by name, a native window is taken; a list of platforms, as desktops set for
    // every program, leaves the choice here.
    if (wayland && platform == "wayland") {
        qputenv("QT_QPA_PLATFORM", "wayland");
        return nullptr;
    }
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        return nullptr;
    }
    if (wayland) {
        qputenv("QT_QPA_PLATFORM", "wayland");
        return nullptr;
    }
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return "ocula: this build reads the screen through X11 only, and this session has no "
               "X11 display (DISPLAY is not set); run Ocula in an X11 session or with Xwayland";
    return "ocula: no display to show a window on (DISPLAY and WAYLAND_DISPLAY are not set)";
}

// Qt would turn a scale factor into a device pixel ratio, and the view would then magnify
// logical pixels: a screen pixel would no longer become Factor x Factor device pixels. So
// the ratio stays 1 and every scale the session asks for becomes one logical dpi, which
// the fonts, the style and the twips follow (and the furniture through uiScale()).
void chooseScale() {
    ocula::ScaleRequest request;
    request.scaleFactor = qgetenv("QT_SCALE_FACTOR");
    request.screenScaleFactors = qgetenv("QT_SCREEN_SCALE_FACTORS");
    request.fontDpi = qgetenv("QT_FONT_DPI");
    if (qgetenv("QT_QPA_PLATFORM").startsWith("xcb")) {
        const ocula::DisplayScaleFacts facts =
            ocula::readDisplayScaleFacts(request.screenScaleFactors.contains('='));
        request.xftDpi = facts.xftDpi;
        request.primaryName = facts.primaryName;
    }
    const double scale = ocula::requestedScale(request);
    for (const char* name :
         {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR"})
        qunsetenv(name);
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_FONT_DPI", QByteArray::number(qint64(ocula::Nearest(96.0 * scale))));
}

QStringList heldMessages;

// Qt aborts with a core dump when the display cannot be opened; while the application
// object is built, its messages are held back so that such a failure is one clear line.
void startupMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (type != QtFatalMsg) {
        heldMessages.append(qFormatLogMessage(type, context, message));
        return;
    }
    // The first message says what went wrong; Qt's own last words only list its plugins.
    const QString reason = heldMessages.isEmpty() ? message.section(QLatin1Char('\n'), 0, 0)
                                                  : heldMessages.constFirst();
    const QByteArray detail = reason.simplified().toLocal8Bit();
    if (qgetenv("QT_QPA_PLATFORM").startsWith("xcb"))
        std::fprintf(stderr, "ocula: cannot open the X11 display \"%s\" (%s)\n",
                     qgetenv("DISPLAY").constData(), detail.constData());
    else if (qgetenv("QT_QPA_PLATFORM") == "wayland")
        std::fprintf(stderr, "ocula: cannot connect to the Wayland display \"%s\" (%s)\n",
                     qgetenv("WAYLAND_DISPLAY").constData(), detail.constData());
    else
        std::fprintf(stderr, "ocula: cannot start the window system (%s)\n", detail.constData());
    std::_Exit(EXIT_FAILURE);
}

// Qt's xcb plugin ends the program with exit(1) from the event loop when the display
// connection breaks (the server died, the session ended before its clients); the settings
// of the session must reach the file on that way out as well. Disarmed once main returns.
ocula::frmMain* unloadAtExit = nullptr;

void unloadOnExit() {
    if (ocula::frmMain* window = std::exchange(unloadAtExit, nullptr))
        window->Form_Unload();
}

// Qt's Wayland plugin ends the program at once when the compositor goes away (it takes
// the connection with it), with no exit handlers run: the settings are saved here, on the
// plugin's own word of it, and the program ends with one line of its own. The word comes
// from the plugin's reading thread first and then from the main one; only the main thread
// may touch the window, so the other waits for it (and ends the program itself should the
// main thread never come).
[[noreturn]] void endForLostCompositor() {
    static std::mutex ending;
    ending.lock(); // never unlocked: whoever comes second waits for the end
    unloadOnExit();
    std::fputs("ocula: lost the connection to the Wayland compositor\n", stderr);
    std::_Exit(EXIT_FAILURE);
}

void runtimeMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (message.startsWith(QLatin1String("The Wayland connection"))) {
        if (QThread::currentThread() == qApp->thread())
            endForLostCompositor();
        QMetaObject::invokeMethod(
            qApp, [] { endForLostCompositor(); }, Qt::QueuedConnection);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        unloadAtExit = nullptr;
        endForLostCompositor();
    }
    std::fprintf(stderr, "%s\n",
                 qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

} // namespace

int main(int argc, char* argv[]) {
    if (const int status = handleArguments(argc, argv); status >= 0)
        return status;
    if (const char* problem = chooseDisplay()) {
        std::fprintf(stderr, "%s\n", problem);
        return EXIT_FAILURE;
    }
    chooseScale();
    qInstallMessageHandler(startupMessageHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(runtimeMessageHandler);
    for (const QString& line : std::as_const(heldMessages))
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().data());
    heldMessages.clear();

    QApplication::setApplicationName(QStringLiteral("Ocula"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(OCULA_VERSION));
    // Lets the desktop match the window to its entry and icon.
    QApplication::setDesktopFileName(QStringLiteral(OCULA_APP_ID));
    QIcon icon;
    for (const char* name : {":/icons/ocula-16.png", ":/icons/ocula-32.png"}) {
        // PNG and nothing else: a reader left to detect the format loads every image
        // plugin there is to ask it first.
        QImageReader reader(QString::fromLatin1(name), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    QApplication::setWindowIcon(icon);

    const std::unique_ptr<ocula::ScreenSource> source = ocula::createScreenSource();
    const std::unique_ptr<ocula::RegistryStorage> registry = ocula::createRegistryStorage();
    ocula::frmMain window(source.get());
    window.setRegistry(registry.get());
    ocula::closeOnTerminationSignals(&window);
    window.Form_Load();
    unloadAtExit = &window;
    std::atexit(unloadOnExit);
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        // A native Wayland window cannot be named to the desktop's permission dialog,
        // which would then open under this window (it stays on top): ask first.
        QEventLoop asking;
        bool answered = false;
        if (source->requestAccess(QString(),
                                  [&] {
                                      answered = true;
                                      asking.quit();
                                  }) &&
            !answered)
            asking.exec();
        window.show();
    } else {
        window.show();
        // Not QWidget::winId(): a window told to stay on top after its X window was made
        // gets a new X window when first shown, and the widget keeps the old id; its
        // QWindow's is the one on the screen.
        source->requestAccess(QStringLiteral("x11:%1").arg(window.windowHandle()->winId(), 0, 16),
                              {});
    }
    const int status = QApplication::exec();
    unloadAtExit = nullptr;
    // For whole-program measurements: how many views were drawn in this run (and of those,
    // how many by moving the last one), and how many passes looked at the screen (the
    // others found nothing new to draw).
    if (qEnvironmentVariableIsSet("OCULA_FRAME_COUNT"))
        std::fprintf(stderr, "ocula frames: %llu passes: %llu moved: %llu\n",
                     static_cast<unsigned long long>(window.Zoom1->framesPresented()),
                     static_cast<unsigned long long>(window.Zoom1->redrawPasses()),
                     static_cast<unsigned long long>(window.Zoom1->framesMoved()));
    return status;
}
