#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/main_view.h"
#include "app/services.h"
#include "text/code_page.h"

namespace vennadar::test {

// Serves pages from a map; records every address asked for. Unknown addresses fail.
class FakeHttp final : public Http {
public:
    std::optional<std::string> Download(const std::string& address) override {
        requests.push_back(address);
        const auto page = pages.find(address);
        if (page == pages.end()) {
            return std::nullopt;
        }
        return page->second;
    }
    std::map<std::string, std::string> pages;
    std::vector<std::string> requests;
};

class FakeSounds final : public SoundPlayer {
public:
    void Play(EmbeddedSound sound) override { played.push_back(sound); }
    std::vector<EmbeddedSound> played;
};

struct ShownMessage {
    std::string text;  // UTF-8
    std::string title;
    int style = 0;
    bool operator==(const ShownMessage&) const = default;
};

class FakeDialogs final : public Dialogs {
public:
    int ShowMessage(const Text& text, const Text& title, int style) override {
        shown.push_back({GbkToUtf8(text), GbkToUtf8(title), style});
        return answer;
    }
    std::vector<ShownMessage> shown;
    int answer = kAnswerOk;
};

struct StartedProgram {
    std::string program;
    std::vector<std::string> args;
    bool operator==(const StartedProgram&) const = default;
};

class FakeDesktop final : public Desktop {
public:
    void OpenUrl(const std::string& address) override { opened.push_back(address); }
    bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
        started.push_back({program, args});
        return start_succeeds;
    }
    std::string ProgramDirectory() override { return directory; }
    std::string ExecutablePath() override { return executable; }
    bool start_succeeds = true;
    std::string executable = "/nonexistent/vennadar";
    std::vector<std::string> opened;
    std::vector<StartedProgram> started;
    std::string directory = "/opt/my programs/vennadar";
};

// The main window's state as plain values.
class FakeMainView final : public MainView {
public:
    Text Title() const override { return title; }
    void SetTitle(const Text& text) override { title = text; }
    void ClearList() override {
        rows.clear();
        selected = -1;
    }
    void AppendRow(const Text& text) override { rows.push_back(GbkToUtf8(text)); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    Text RowText(int index) const override {
        return index >= 0 && index < RowCount() ? Utf8ToGbk(rows[static_cast<std::size_t>(index)])
                                                : Text();
    }
    int SelectedIndex() const override { return selected; }
    void SetSelectedIndex(int index) override {
        selected = index >= 0 && index < RowCount() ? index : -1;
    }
    void FocusList() override { focus = "list"; }
    Text SearchText() const override { return Utf8ToGbk(search_text); }
    void FocusSearchBox() override { focus = "search"; }
    void SetPreviousPageEnabled(bool enabled) override { previous_enabled = enabled; }
    void SetNextPageEnabled(bool enabled) override { next_enabled = enabled; }
    void SetFirstPageEnabled(bool enabled) override { first_enabled = enabled; }
    void PopUpListMenu() override { ++menus_shown; }
    void OpenArticleWindow() override { article_titles.push_back(title_of_handoff()); }
    void CloseWindow() override { closed = true; }
    void ShowWindow() override { shown = true; }
    bool shown = false;

    std::function<std::string()> title_of_handoff = [] { return std::string(); };
    Text title = "Vennadar";
    std::vector<std::string> rows;  // UTF-8
    int selected = -1;
    std::string focus;
    std::string search_text;  // UTF-8
    bool previous_enabled = true;  // as the window is laid out
    bool next_enabled = true;
    bool first_enabled = false;
    int menus_shown = 0;
    std::vector<std::string> article_titles;
    bool closed = false;
};

}  // namespace vennadar::test
