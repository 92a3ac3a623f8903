#include "core/search/search_command.h"

#include "core/listing/navigation.h"
#include "core/text/code_page.h"

namespace vennadar {

void SearchCommand(AppState& state, MainView& view, Services& services) {
    if (view.SearchText().empty()) {
        services.dialogs.ShowMessage(Utf8ToGbk("搜索内容不能为空"), Utf8ToGbk("提示"),
                                     kStyleWarningIcon | kStyleOk);
        view.FocusSearchBox();
        return;
    }
    state.listing_query.page_number = 1;
    state.listing_query.search_flag = true;
    view.ClearList();
    LoadListing(state, view, services);
    if (state.current_rows.empty()) {
        // The list stays empty: loading the same address again would find nothing either.
        services.dialogs.ShowMessage(Utf8ToGbk("没有搜索到内容，不如换个关键词试试"),
                                     Utf8ToGbk("提示"), kStyleWarningIcon | kStyleOk);
    }
}

}  // namespace vennadar
