#include "adapters/qt/start_up.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <cstdlib>

#include "core/settings/zoom.h"

namespace vennadar {

std::unique_ptr<QTranslator> InstallQtTranslation(const QString& folder) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), folder) ||
        !QCoreApplication::installTranslator(translator.get())) {
        return nullptr;
    }
    return translator;
}

ApplicationSetup PrepareApplication(const QString& translations_folder,
                                    const std::string& settings_path) {
    // Before the first window: a Wayland compositor matches the windows to vennadar.desktop (icon,
    // name in the task switcher) by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("vennadar"));
    ApplicationSetup setup;
    setup.qt_texts = InstallQtTranslation(translations_folder);
    setup.zoom = std::make_unique<QtZoom>(settings_path);
    return setup;
}

ApplicationSetup PrepareApplication() {
    return PrepareApplication(
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        SettingsFilePath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
}

}  // namespace vennadar
