#pragma once

#include <string>

#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

namespace vennadar {

// Opens an address with the default browser.
void OpenInBrowser(Services& services, const std::string& address);
// Opens a text file in the desktop's text editor (the path is one argument, never a shell word).
void OpenInEditor(Services& services, const std::string& path);
// The program's directory, without a trailing slash.
std::string ProgramDirectory(Services& services);

// The main window's menu commands.
void OpenUsageHelp(Services& services);
void OpenUpgradeLog(Services& services);
void OpenSiteHome(Services& services);
void OpenAboutSite(Services& services);
void OpenDonationPage(Services& services);
void OpenChatGroup(Services& services);
void OpenSelectedArticleInBrowser(const AppState& state, const MainView& view, Services& services);
void BackToCategoryList(AppState& state, MainView& view, Services& services);
void ExitCommand(MainView& view);
// Asks, then empties the reader's memory for real and takes the marks off the list.
void ClearReadingHistoryCommand(AppState& state, MainView& view, Services& services);

}  // namespace vennadar
