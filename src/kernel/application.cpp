#include "kernel/application.h"

#include <QApplication>
#include <QDBusConnection>
#include <memory>

#include "adapters/audio/qt_sound_player.h"
#include "adapters/curl/curl_http.h"
#include "adapters/portal/portal_hot_keys.h"
#include "adapters/qt/qt_services.h"
#include "adapters/qt/start_up.h"
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
    const ApplicationSetup setup = PrepareApplication();

    std::unique_ptr<AppState> state = InitializeGlobals();
    const BuildSettings settings = DefaultBuildSettings();
    HttpLimits limits;
    limits.user_agent = "Vennadar/" + settings.program_version;
    CurlHttp http(limits);
    QtSoundPlayer sounds;
    QtDialogs dialogs;
    QtDesktop desktop;
    // The playback keys: the desktop's portal in a Wayland session where it runs, else X11 grabs;
    // with neither, the article window takes them as its own keys.
    XcbHotKeys x11_keys;
    std::unique_ptr<PortalHotKeys> portal_keys;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        portal_keys = std::make_unique<PortalHotKeys>(QDBusConnection::sessionBus());
        if (!portal_keys->Available()) {
            portal_keys.reset();
        }
    }
    HotKeys* hot_keys = portal_keys != nullptr ? static_cast<HotKeys*>(portal_keys.get())
                        : x11_keys.Available() ? &x11_keys
                                               : nullptr;
    // Opens its file on its own thread: start-up does not wait for it, and until it is open the
    // reader simply remembers nothing. Destroyed after the window, so the window's last writes
    // are done; a file still opening then is not waited for.
    SqliteStore store;
    Services services{http, sounds, dialogs, desktop, settings, hot_keys, &store};
    services.zoom = setup.zoom.get();
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
