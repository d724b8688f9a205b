#include "magnifier/zoom.h"
#include "mainwindow/frmmain.h"
#include "platform/registrystorage.h"
#include "platform/screensource.h"
#include "platform/signals.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Screen pixels must map 1:1 onto view pixels, whatever scale the desktop asks for.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ocula"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));

    const std::unique_ptr<ocula::ScreenSource> source = ocula::createScreenSource();
    const std::unique_ptr<ocula::RegistryStorage> registry = ocula::createRegistryStorage();
    ocula::frmMain window(source.get());
    window.setRegistry(registry.get());
    ocula::closeOnTerminationSignals(&window);
    window.Form_Load();
    window.show();
    const int status = QApplication::exec();
    // For whole-program measurements: how many views were drawn in this run.
    if (qEnvironmentVariableIsSet("OCULA_FRAME_COUNT"))
        std::fprintf(stderr, "ocula frames: %llu\n",
                     static_cast<unsigned long long>(window.Zoom1->framesPresented()));
    return status;
}
