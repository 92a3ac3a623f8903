#include "core/commands/main_commands.h"

#include "core/listing/navigation.h"
#include "core/reader/link_address.h"
#include "core/text/code_page.h"
#include "core/wait/wait.h"

namespace vennadar {

void OpenInBrowser(Services& services, const std::string& address) {
    services.desktop.OpenUrl(address);
}

void OpenInEditor(Services& services, const std::string& path) {
    services.desktop.StartProgram("xdg-open", {path});
}

std::string ProgramDirectory(Services& services) {
    return services.desktop.ProgramDirectory();
}

void OpenUsageHelp(Services& services) {
    OpenInEditor(services, ProgramDirectory(services) + "/help/help.txt");
}

void OpenUpgradeLog(Services& services) {
    OpenInEditor(services, ProgramDirectory(services) + "/help/升级日志.txt");
}

void OpenSiteHome(Services& services) {
    OpenInBrowser(services, services.settings.site_base);
}

void OpenAboutSite(Services& services) {
    OpenInBrowser(services, services.settings.site_base + "/gywm-html");
}

void OpenDonationPage(Services& services) {
    OpenInBrowser(services, services.settings.site_base + "/jzbz-html");
}

void OpenChatGroup(Services& services) {
    OpenInBrowser(services, services.settings.chat_group_url);
}

void OpenSelectedArticleInBrowser(const AppState& state, const MainView& view, Services& services) {
    const int index = view.SelectedIndex();
    if (state.showing_categories || index < 0 ||
        index >= static_cast<int>(state.current_rows.size())) {
        return;
    }
    // The row's link is GBK as the page wrote it: the browser gets the address it stands for.
    const std::optional<std::string> address = ListingLinkAddress(
        state.current_rows[static_cast<std::size_t>(index)].link, state.listing_address);
    if (address) {
        OpenInBrowser(services, *address);
    }
}

void BackToCategoryList(AppState& state, MainView& view, Services& services) {
    if (state.showing_categories || IsWaiting(state)) {
        return;
    }
    ShowCategoryList(state, view, services);
    state.showing_categories = true;
}

void ExitCommand(MainView& view) {
    view.CloseWindow();
}

void ClearReadingHistoryCommand(AppState& state, MainView& view, Services& services) {
    const int answer = services.dialogs.ShowMessage(
        Utf8ToGbk("清除全部阅读记录和保存的网页吗？"), Utf8ToGbk("提示"),
        kStyleYesNo | kStyleQuestionIcon | kStyleDefaultSecond);
    if (answer != kAnswerYes) {
        return;
    }
    if (services.store != nullptr) {
        services.store->Clear();
    }
    ForgetMarks(state, view);
}

}  // namespace vennadar
