// Opening an article, everything but the network: conversion, body search, HTML-to-text of the
// body, the links and their captions; and the body and manifest searches on hostile input.
#include <benchmark/benchmark.h>

#include <string>

#include "core/reader/article_body.h"
#include "core/reader/article_reader.h"
#include "core/reader/reader_patterns.h"
#include "core/text/code_page.h"
#include "core/text/regex.h"
#include "core/update/manifest_pattern.h"
#include "core/update/manifest_version.h"

namespace vennadar {
namespace {

class NullView final : public ArticleView {
  public:
    Text Title() const override { return {}; }
    void SetTitle(const Text&) override {}
    Text BodyText() const override { return body; }
    void SetBodyText(const Text& text) override { body = text; }
    void ShowLinkList() override {}
    void AppendLinkRow(const Text&) override { ++rows; }
    int SelectedLink() const override { return -1; }
    void SetSelectedLink(int) override {}
    void PopUpLinkMenu() override {}
    void CopyToClipboard(const Text&) override {}
    void CloseWindow() override {}
    MediaPlayer& Player() override { std::abort(); }
    void OfferMediaControls(const std::string&) override {}
    void PlaybackKeysRegistered() override {}
    Text body;
    int rows = 0;
};

class NoHttp final : public Http {
  public:
    HttpResponse Fetch(const HttpRequest&) override { return {}; }
};
class NoSounds final : public SoundPlayer {
  public:
    void Play(EmbeddedSound) override {}
};
class NoDialogs final : public Dialogs {
  public:
    int ShowMessage(const Text&, const Text&, int) override { return kAnswerNo; }
    std::optional<std::string> AskSavePath(const Text&, const Text&, const std::string&) override {
        return std::nullopt;
    }
};
class NoDesktop final : public Desktop {
  public:
    void OpenUrl(const std::string&) override {}
    bool StartProgram(const std::string&, const std::vector<std::string>&) override {
        return false;
    }
    std::string ProgramDirectory() override { return {}; }
    std::string ExecutablePath() override { return {}; }
};

// An article page of about `bytes` with `links` links spread through its body.
std::string ArticlePage(std::size_t bytes, int links) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head><meta charset=\"UTF-8\"><title>T</title>"
        "</head>\n<body>\n<center><h1>勾股定理</h1>\n<div>正文：</div></center>\n"
        "   <article id=\"post_content\">\n";
    const std::string paragraph =
        "    <p>&nbsp;&nbsp;&nbsp;&nbsp;直角三角形两条直角边的<strong>平方和</strong>等于斜边的"
        "平方。这个结论在<span style=\"color:#c00\">几何</span>中非常重要，&ldquo;数形结合"
        "&rdquo;的思想贯穿始终。<br />我们可以用面积法证明它。</p>\n";
    int written = 0;
    while (page.size() < bytes) {
        page += paragraph;
        if (written < links) {
            page += "    <p><a href=\"http://127.0.0.1:8780/archives/" + std::to_string(written) +
                    ".html\">相关文章：第" + std::to_string(written) + "篇</a></p>\n";
            ++written;
        }
    }
    return page + "       </article>\n<div class=\"footer\">版权所有</div>\n</body>\n</html>\n";
}

void BM_OpenArticle(benchmark::State& state) {
    const std::string page = ArticlePage(static_cast<std::size_t>(state.range(0)), 50);
    NoHttp http;
    NoSounds sounds;
    NoDialogs dialogs;
    NoDesktop desktop;
    Services services{http, sounds, dialogs, desktop, BuildSettings()};
    auto app = InitializeGlobals();
    int rows = 0;
    for (auto _ : state) {
        NullView view;
        app->article_handoff.page_text = Utf8ToGbk(page);
        ShowArticle(*app, view, services);
        rows = view.rows;
    }
    state.counters["links"] = rows;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_OpenArticle)->Arg(200 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// A hostile page: the body's opening tag on every other line, never closed.
std::string UnclosedBodies(std::size_t bytes) {
    std::string page;
    while (page.size() < bytes) {
        page += "<article id=\"post_content\">\nx\n";
    }
    return page;
}

void BM_BodyFinderOnUnclosedBodies(benchmark::State& state) {
    const Text page = Utf8ToGbk(UnclosedBodies(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindArticleBody(page));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_BodyFinderOnUnclosedBodies)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond);

// The same search through the regex engine, for comparison: quadratic.
void BM_BodyPatternOnUnclosedBodies(benchmark::State& state) {
    const Text page = Utf8ToGbk(UnclosedBodies(static_cast<std::size_t>(state.range(0))));
    RegexPattern pattern;
    pattern.Compile(Utf8ToGbk(kBodyPatternUtf8));
    for (auto _ : state) {
        benchmark::DoNotOptimize(pattern.FindAll(page));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_BodyPatternOnUnclosedBodies)
    ->Arg(16 << 10)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Unit(benchmark::kMillisecond);

// A hostile update manifest: one line of opening version tags, closed only on the next line.
Text UnclosedVersions(std::size_t bytes) {
    std::string manifest;
    while (manifest.size() < bytes) {
        manifest += "<版本号>1";
    }
    return Utf8ToGbk(manifest + "\n</版本号>");
}

void BM_ManifestFinderOnUnclosedVersions(benchmark::State& state) {
    const Text manifest = UnclosedVersions(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindManifestVersion(manifest));
    }
}
BENCHMARK(BM_ManifestFinderOnUnclosedVersions)->Arg(64 << 10)->Arg(1 << 20);

void BM_ManifestPatternOnUnclosedVersions(benchmark::State& state) {
    const Text manifest = UnclosedVersions(static_cast<std::size_t>(state.range(0)));
    RegexPattern pattern;
    pattern.Compile(Utf8ToGbk(kManifestPatternUtf8));
    for (auto _ : state) {
        benchmark::DoNotOptimize(pattern.FindFirst(manifest));
    }
}
BENCHMARK(BM_ManifestPatternOnUnclosedVersions)->Arg(16 << 10)->Arg(64 << 10);

}  // namespace
}  // namespace vennadar

BENCHMARK_MAIN();
