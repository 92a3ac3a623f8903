#include "kernel/application.h"

#include <QApplication>

#include "adapters/audio/qt_sound_player.h"
#include "adapters/curl/curl_http.h"
#include "adapters/qt/qt_services.h"
#include "adapters/sqlite/sqlite_store.h"
#include "adapters/x11/xcb_hot_keys.h"
#include "core/commands/startup.h"
#include "core/state/app_state.h"
#include "gui/main_window.h"
#include "packaging/application_icon.h"

namespace vennadar {

int RunApplication(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vennadar"));
    SetApplicationIcon();

    std::unique_ptr<AppState> state = InitializeGlobals();
    const BuildSettings settings = DefaultBuildSettings();
    HttpLimits limits;
    limits.user_agent = "Vennadar/" + settings.program_version;
    CurlHttp http(limits);
    QtSoundPlayer sounds;
    QtDialogs dialogs;
    QtDesktop desktop;
    XcbHotKeys hot_keys;
    // Opens its file on its own thread: start-up does not wait for it, and until it is open the
    // reader simply remembers nothing. Destroyed after the window, so the window's last writes
    // are done; a file still opening then is not waited for.
    SqliteStore store;
    Services services{http, sounds, dialogs, desktop, settings, &hot_keys, &store};
    {
        MainWindow window(*state, services);
        dialogs.SetParent(&window);
        sounds.HoldUntilPainted(&window);
        MainWindowCreated(*state, window, services);
        QApplication::exec();
    }
    ReleaseGlobals(state);
    return 0;
}

}  // namespace vennadar
