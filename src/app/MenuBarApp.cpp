#include "MenuBarApp.h"

#include "SystemContext.h"
#include "ui/MenuBarController.h"
#include "ui/WidgetPresenter.h"
#include "ui/Workspace.h"

#include <QApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace velmora {

int runMenuBarApp(const CommandLineOptions &options, Console &console) {
    static int argc = 1;
    static char name[] = "VelmoraWallpaper";
    static char *argv[] = {name, nullptr};
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"VelmoraWallpaper"_s);
    QApplication::setApplicationDisplayName(u"Velmora壁纸"_s);
    QApplication::setDesktopFileName(u"velmora-wallpaper"_s);
    // The tray item is the application; closing an alert or the menu window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    WidgetPresenter presenter;
    SystemWorkspace workspace;
    MenuBarController controller(makeSystemContext(options, console), options.handoffTicket,
                                 presenter, workspace);
    QObject::connect(&controller, &MenuBarController::terminateRequested, &application,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
    QTimer::singleShot(0, &controller, &MenuBarController::applicationDidFinishLaunching);
    return QApplication::exec();
}

} // namespace velmora
