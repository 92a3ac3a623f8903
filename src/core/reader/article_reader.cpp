#include "core/reader/article_reader.h"

#include "core/io/atomic_file.h"
#include "core/reader/article_audio.h"
#include "core/reader/article_body.h"
#include "core/reader/link_address.h"
#include "core/reader/reader_patterns.h"
#include "core/text/code_page.h"
#include "html/html_to_text.h"

namespace vennadar {

void ShowArticle(AppState& state, ArticleView& view, Services& services) {
    view.SetTitle(state.article_handoff.title);
    state.left_volume = 50;
    state.right_volume = 50;
    state.article_links.clear();
    if (!ExtractArticleBody(state, view, services)) {
        return;
    }
    NoteArticleRead(state, services);
    ExtractArticleLinks(state, view);
    OfferAudio(state, view, services);
    view.SetSelectedLink(0);
    if (!state.article_offline_notice.empty()) {
        view.Announce(state.article_offline_notice);
    }
}

void NoteArticleRead(AppState& state, Services& services) {
    state.article_read = true;
    if (services.store == nullptr) {
        return;
    }
    const std::string address = GbkToUtf8(state.article_handoff.link);
    state.new_articles.erase(address);
    state.read_articles.insert(address);
    services.store->NoteRead(address);
}

bool ExtractArticleBody(AppState& state, ArticleView& view, Services& services) {
    const std::optional<Text> body = FindArticleBody(state.article_handoff.page_text);
    if (!body) {
        services.dialogs.ShowMessage(Utf8ToGbk("获取正文失败"), Utf8ToGbk("提示"),
                                     kStyleInformationIcon | kStyleOk);
        return false;
    }
    state.article_body_html = *body;
    view.SetBodyText(HtmlToText(state.article_body_html));
    return true;
}

void ExtractArticleLinks(AppState& state, ArticleView& view) {
    state.reader_regex.Compile(Utf8ToGbk(kLinkPatternUtf8));
    const std::vector<RegexMatch> matches = state.reader_regex.FindAll(state.article_body_html);
    if (matches.empty()) {
        return;
    }
    view.ShowLinkList();
    for (const RegexMatch& match : matches) {
        state.article_links.push_back(match.GroupText(1));
    }
    for (const RegexMatch& match : matches) {
        view.AppendLinkRow(HtmlToText(match.GroupText(2)));
    }
}

void CopyLink(const AppState& state, ArticleView& view) {
    const int index = view.SelectedLink();
    if (index < 0 || index >= static_cast<int>(state.article_links.size())) {
        return;
    }
    view.CopyToClipboard(state.article_links[static_cast<std::size_t>(index)]);
}

void OpenLink(const AppState& state, const ArticleView& view, Services& services) {
    const int index = view.SelectedLink();
    if (index < 0 || index >= static_cast<int>(state.article_links.size())) {
        return;
    }
    // The page may write a relative address or one with references in it; the browser gets the
    // address the page means, and only one a browser should open.
    const std::optional<std::string> address =
        BrowsableLinkAddress(GbkToUtf8(state.article_links[static_cast<std::size_t>(index)]),
                             GbkToUtf8(state.article_handoff.link));
    if (address) {
        services.desktop.OpenUrl(*address);
    }
}

void ShowLinkMenu(ArticleView& view) {
    if (view.SelectedLink() != -1) {
        view.PopUpLinkMenu();
    }
}

bool BodyKeyPressed(ArticleView& view, KeyEvent key) {
    if (key.modifiers != 0 ||
        (key.key != kKeyEnter && key.key != kKeySpace && key.key != kKeyBackspace)) {
        return false;
    }
    view.CloseWindow();
    return true;
}

Text ProposedFileName(const Text& title) {
    Text name = title;
    for (char& c : name) {
        if (c == '/') {  // never a GBK trail byte, so always the slash itself
            c = '_';
        }
    }
    return name + ".txt";
}

void SaveArticleAsText(ArticleView& view, Services& services) {
    const std::optional<std::string> path = services.dialogs.AskSavePath(
        ProposedFileName(view.Title()), Utf8ToGbk("文本文件*.txt"), "*.txt");
    if (!path) {
        return;
    }
    if (!WriteFileAtomically(*path, view.BodyText())) {
        services.dialogs.ShowMessage(Utf8ToGbk("保存失败"), Utf8ToGbk("提示"),
                                     kStyleWarningIcon | kStyleOk);
    }
}

}  // namespace vennadar
