#include "core/search/search_command.h"

#include "core/listing/navigation.h"
#include "core/text/code_page.h"
#include "core/wait/wait.h"

namespace vennadar {

void SearchCommand(AppState& state, MainView& view, Services& services) {
    if (IsWaiting(state)) {
        return;
    }
    if (view.SearchText().empty()) {
        services.dialogs.ShowMessage(Utf8ToGbk("搜索内容不能为空"), Utf8ToGbk("提示"),
                                     kStyleWarningIcon | kStyleOk);
        view.FocusSearchBox();
        return;
    }
    ListingQuery query = state.listing_query;
    query.page_number = 1;
    query.search_flag = true;
    RememberListing(state, view);
    LoadListing(state, view, services, query, [&state, &services] {
        if (state.current_rows.empty()) {
            // The list stays empty: loading the same address again would find nothing either.
            services.dialogs.ShowMessage(Utf8ToGbk("没有搜索到内容，不如换个关键词试试"),
                                         Utf8ToGbk("提示"), kStyleWarningIcon | kStyleOk);
        }
    });
}

}  // namespace vennadar
