#include "app/application.h"

#include <QApplication>

#include "app/app_state.h"
#include "app/startup.h"
#include "main_window/main_window.h"
#include "main_window/qt_services.h"
#include "main_window/qt_sound_player.h"
#include "platform/curl_http.h"
#include "platform/xcb_hot_keys.h"

namespace vennadar {

int RunApplication(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vennadar"));
    SetApplicationIcon();

    std::unique_ptr<AppState> state = InitializeGlobals();
    const BuildSettings settings = DefaultBuildSettings();
    HttpLimits limits;
    limits.user_agent = "Vennadar/" + settings.program_version;
    CurlHttp curl(limits);
    BusyCursorHttp http(curl);
    QtSoundPlayer sounds;
    QtDialogs dialogs;
    QtDesktop desktop;
    XcbHotKeys hot_keys;
    Services services{http, sounds, dialogs, desktop, settings, &hot_keys};
    {
        MainWindow window(*state, services);
        dialogs.SetParent(&window);
        sounds.HoldUntilPainted(&window);
        window.show();
        if (MainWindowCreated(*state, window, services) == UpdateOutcome::Continue) {
            QApplication::exec();
        }
    }
    ReleaseGlobals(state);
    return 0;
}

}  // namespace vennadar
