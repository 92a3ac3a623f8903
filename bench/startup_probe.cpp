// The program's own start-up, built as RunApplication builds it, timed to the main window's first
// painted frame after the category list is shown; see startup_baseline for the floor.
// Usage: startup_probe [--settle-ms N]
#include <QApplication>

#include "adapters/audio/qt_sound_player.h"
#include "adapters/curl/curl_http.h"
#include "adapters/qt/qt_services.h"
#include "adapters/qt/start_up.h"
#include "adapters/sqlite/sqlite_store.h"
#include "adapters/x11/xcb_hot_keys.h"
#include "core/commands/startup.h"
#include "core/state/app_state.h"
#include "first_paint.h"
#include "gui/main_window.h"

int main(int argc, char** argv) {
    using namespace vennadar;
    const auto main_start = startup_timing::Clock::now();

    // As in RunApplication.
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vennadar"));
    const int settle_ms = startup_timing::SettleMilliseconds(argc, argv);
    const ApplicationSetup setup = PrepareApplication();

    std::unique_ptr<AppState> state = InitializeGlobals();
    const BuildSettings settings = DefaultBuildSettings();
    HttpLimits limits;
    limits.user_agent = "Vennadar/" + settings.program_version;
    CurlHttp http(limits);
    QtSoundPlayer sounds;
    QtDialogs dialogs;
    QtDesktop desktop;
    XcbHotKeys hot_keys;
    SqliteStore store;
    Services services{http, sounds, dialogs, desktop, settings, &hot_keys, &store};
    services.zoom = setup.zoom.get();
    {
        MainWindow window(*state, services);
        startup_timing::FirstPaintWatcher watcher(&window, main_start, settle_ms);
        dialogs.SetParent(&window);
        sounds.HoldUntilPainted(&window);
        MainWindowCreated(*state, window, services);
        watcher.Arm();
        QApplication::exec();
    }
    ReleaseGlobals(state);
    return 0;
}
