#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/ports/article_view.h"
#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/text/code_page.h"

namespace vennadar::test {

// Serves pages from a map with status 200; records every address asked for. Unknown addresses
// fail as a refused connection would. `answers` gives whole responses instead, where the test
// needs a status or validators; `conditional` records the validators each request carried.
// Started downloads arrive at once, unless `hold` keeps them until Arrive.
class FakeHttp final : public Http {
  public:
    HttpResponse Fetch(const HttpRequest& request) override {
        requests.push_back(request.address);
        conditional.push_back(request.if_none_match + "|" + request.if_modified_since);
        if (const auto answer = answers.find(request.address); answer != answers.end()) {
            return answer->second;
        }
        const auto page = pages.find(request.address);
        if (page == pages.end()) {
            HttpResponse refused;
            refused.unreachable = true;
            return refused;
        }
        HttpResponse response;
        response.answered = true;
        response.status = 200;
        response.body = page->second;
        return response;
    }
    DownloadId StartFetch(const HttpRequest& request, FetchDone done) override {
        if (!hold) {
            return Http::StartFetch(request, std::move(done));
        }
        held[++last_id] = {request, std::move(done)};
        return last_id;
    }
    void CancelDownload(DownloadId id) override {
        if (held.erase(id) != 0) {
            cancelled.push_back(id);
        }
    }
    // Lets the held downloads arrive, oldest first; what they start is held again.
    void Arrive() {
        auto waiting = std::move(held);
        held.clear();
        for (auto& [id, download] : waiting) {
            download.second(Fetch(download.first));
        }
    }
    std::map<std::string, std::string> pages;
    std::map<std::string, HttpResponse> answers;
    std::vector<std::string> requests;
    std::vector<std::string> conditional;  // "If-None-Match|If-Modified-Since" of each request
    bool hold = false;
    std::map<DownloadId, std::pair<HttpRequest, FetchDone>> held;
    std::vector<DownloadId> cancelled;
    DownloadId last_id = 0;
};

// The reader's memory in plain containers; writes land at once. `now` is the clock of kept times.
class FakeStore final : public Store {
  public:
    ListingMarks MarksFor(const std::string& page,
                          const std::vector<std::string>& articles) override {
        ListingMarks marks;
        marks.page_visited = visited.count(page) != 0;
        for (const std::string& article : articles) {
            marks.listed.push_back(listed.count(article) != 0);
            marks.read.push_back(read.count(article) != 0);
        }
        return marks;
    }
    std::optional<KeptPage> Kept(const std::string& address) override {
        const auto found = kept.find(address);
        if (found == kept.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    void NoteListed(const std::string& page, const std::vector<std::string>& articles) override {
        visited.insert(page);
        listed.insert(articles.begin(), articles.end());
    }
    void NoteRead(const std::string& article) override { read.insert(article); }
    void Keep(const std::string& address, const KeptPage& page) override {
        kept[address] = page;
        kept[address].kept_at = now;
        shown.push_back(address);
    }
    void NoteShown(const std::string& address, bool confirmed) override {
        const auto found = kept.find(address);
        if (found != kept.end() && confirmed) {
            found->second.kept_at = now;
        }
        shown.push_back(address);
    }
    void Clear() override {
        visited.clear();
        listed.clear();
        read.clear();
        kept.clear();
        ++clears;
    }
    std::set<std::string> visited;
    std::set<std::string> listed;
    std::set<std::string> read;
    std::map<std::string, KeptPage> kept;
    std::vector<std::string> shown;    // every address kept or shown again, in order
    std::int64_t now = 1'765'294'200;  // 2025-12-09 15:30 UTC
    int clears = 0;
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
    std::optional<std::string> AskSavePath(const Text& proposed_name,
                                           const Text& filter_description,
                                           const std::string& filter_pattern) override {
        save_requests.push_back(GbkToUtf8(proposed_name) + "|" + GbkToUtf8(filter_description) +
                                "|" + filter_pattern);
        return save_path;
    }
    std::vector<ShownMessage> shown;
    int answer = kAnswerOk;
    std::vector<std::string> save_requests;
    std::optional<std::string> save_path;
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
        marks.clear();
        selected = -1;
    }
    void AppendRow(const Text& text) override {
        rows.push_back(GbkToUtf8(text));
        marks.push_back(RowMark::kNone);
    }
    void SetRowMark(int index, RowMark mark) override {
        marks.at(static_cast<std::size_t>(index)) = mark;
    }
    void Announce(const Text& notice) override { announced.push_back(GbkToUtf8(notice)); }
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
    bool PreviousPageEnabled() const override { return previous_enabled; }
    bool NextPageEnabled() const override { return next_enabled; }
    bool FirstPageEnabled() const override { return first_enabled; }
    void SetBusy(bool on) override { busy = on; }
    void PopUpListMenu() override { ++menus_shown; }
    void OpenArticleWindow() override { article_titles.push_back(title_of_handoff()); }
    void CloseWindow() override { closed = true; }
    void ShowWindow() override { shown = true; }
    bool shown = false;

    std::function<std::string()> title_of_handoff = [] { return std::string(); };
    Text title = "Vennadar";
    std::vector<std::string> rows;  // UTF-8
    std::vector<RowMark> marks;     // one per row
    std::vector<std::string> announced;
    int selected = -1;
    std::string focus;
    std::string search_text;       // UTF-8
    bool previous_enabled = true;  // as the window is laid out
    bool next_enabled = true;
    bool first_enabled = false;
    int menus_shown = 0;
    std::vector<std::string> article_titles;
    bool closed = false;
    bool busy = false;
};

// Records what the reader asks of its player.
class FakePlayer final : public MediaPlayer {
  public:
    void Open(const std::string& source) override { calls.push_back("open " + source); }
    void SetVolume(int left, int right) override {
        calls.push_back("volume " + std::to_string(left) + " " + std::to_string(right));
    }
    void Play(int from) override {
        calls.push_back("play " + std::to_string(from));
        state = PlaybackState::kPlaying;
    }
    void Pause() override {
        calls.push_back("pause");
        state = PlaybackState::kPaused;
    }
    bool IsPaused() const override { return state == PlaybackState::kPaused; }
    void Stop() override {
        calls.push_back("stop");
        state = PlaybackState::kStopped;
    }
    int Position() const override { return position; }
    void Seek(int to) override { calls.push_back("seek " + std::to_string(to)); }
    PlaybackState State() const override { return state; }
    int Length() const override { return length; }
    void SetChangeHandler(std::function<void()> handler) override {
        on_change = std::move(handler);
    }
    std::vector<std::string> calls;
    int position = 0;
    int length = 0;
    PlaybackState state = PlaybackState::kStopped;
    std::function<void()> on_change;
};

// Hands out identifiers 101, 102, ... (0 for a refused key) and records registrations.
class FakeHotKeys final : public HotKeys {
  public:
    int Register(int modifiers, int key) override {
        registered.push_back({modifiers, key});
        return refused.count(key) != 0 ? 0 : 100 + static_cast<int>(registered.size());
    }
    void Unregister(int id) override { unregistered.push_back(id); }
    void SetHandler(std::function<void(int)> h) override { handler = std::move(h); }
    void SetFailureHandler(std::function<void()> h) override { on_failure = std::move(h); }
    std::vector<std::pair<int, int>> registered;
    std::vector<int> unregistered;
    std::function<void(int)> handler;
    std::function<void()> on_failure;
    std::set<int> refused;  // keys (key_event.h) refused as if held by another program
};

class FakeArticleView final : public ArticleView {
  public:
    Text Title() const override { return title; }
    void SetTitle(const Text& text) override { title = text; }
    Text BodyText() const override { return body; }
    void SetBodyText(const Text& text) override { body = text; }
    void ShowLinkList() override { links_shown = true; }
    void AppendLinkRow(const Text& caption) override { rows.push_back(GbkToUtf8(caption)); }
    int SelectedLink() const override { return selected; }
    void SetSelectedLink(int index) override {
        selected = index >= 0 && index < static_cast<int>(rows.size()) ? index : -1;
    }
    void PopUpLinkMenu() override { ++menus; }
    void CopyToClipboard(const Text& text) override { clipboard = text; }
    void CloseWindow() override { closed = true; }
    MediaPlayer& Player() override { return player; }
    void Announce(const Text& notice) override { announced.push_back(GbkToUtf8(notice)); }
    void OfferMediaControls(const std::string& source) override { media_controls = source; }
    void PlaybackKeysRegistered() override { ++keys_registered; }

    Text title;
    Text body;
    bool links_shown = false;
    std::vector<std::string> rows;
    int selected = -1;
    int menus = 0;
    Text clipboard;
    bool closed = false;
    FakePlayer player;
    std::string media_controls;  // the address offered to the desktop, if any
    int keys_registered = 0;     // times the window was told the keys were registered
    std::vector<std::string> announced;
};

}  // namespace vennadar::test
