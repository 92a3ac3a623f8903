#pragma once

#include <QString>
#include <QTranslator>
#include <memory>
#include <string>

#include "adapters/qt/qt_zoom.h"

namespace vennadar {

// What every start of the program sets up between the application object and the first window;
// the program and its start-up benchmark both run it. Kept for the whole run.
struct ApplicationSetup {
    std::unique_ptr<QTranslator> qt_texts;  // none when the translation is not installed
    std::unique_ptr<QtZoom> zoom;
};

// The program's desktop file name, Qt's own texts (buttons, dialogs, context menus) in Chinese from
// `translations_folder`, whatever the system's language, and the user's text size from
// `settings_path`.
ApplicationSetup PrepareApplication(const QString& translations_folder,
                                    const std::string& settings_path);
// The same from Qt's installed translations and the user's settings file.
ApplicationSetup PrepareApplication();

// Loads and installs qtbase_zh_CN from `folder`; null (and Qt's English texts) when missing.
std::unique_ptr<QTranslator> InstallQtTranslation(const QString& folder);

}  // namespace vennadar
