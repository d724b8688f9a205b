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
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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
    "X11, in an X session or under Xwayland. The keys and mouse actions are listed in\n"
    "\"man ocula\" and in the README.\n"
    "\n"
    "  --help       print this help and exit\n"
    "  --version    print the version and exit\n";

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

// Screen pixels can only be read through X11, so the desktop platforms are steered to xcb
// and a session without X is refused up front rather than by Qt's abort. Returns why the
// program cannot run here, or nullptr.
const char* chooseDisplay() {
    if (!kX11Desktop)
        return nullptr;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool desktopPlatform =
        platform.isEmpty() || platform.contains("xcb") || platform.contains("wayland");
    if (!desktopPlatform)
        return nullptr; // offscreen, vnc and the like: the caller knows what it asked for
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        return nullptr;
    }
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return "ocula: the screen cannot be read on Wayland, and this session has no X11 display "
               "(DISPLAY is not set); run Ocula in an X11 session or with Xwayland";
    return "ocula: no display to show a window on (DISPLAY is not set)";
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
    qInstallMessageHandler(nullptr);
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
    window.show();
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
