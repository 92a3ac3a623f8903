// Conversion and listing-parse speed: the work every listing page costs after its download.
#include <benchmark/benchmark.h>

#include <string>

#include "core/listing/listing_parser.h"
#include "core/text/code_page.h"

namespace vennadar {
namespace {

std::string ReadTwelveBlockPage() {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head><meta charset=\"UTF-8\">"
        "<title>最新文章</title></head>\n<body>\n<div class=\"nav\">最新文章 最新动态 经典习题 "
        "高考试题 知识归纳 教材相关 课外知识 文艺展示 学习工具</div>\n<div class=\"list\">\n";
    for (int i = 0; i < 12; ++i) {
        page += "<h2><a target=\"_blank\" href=\"http://127.0.0.1:8780/archives/" +
                std::to_string(100 + i) + ".html\">勾股定理的几种证明方法与练习</a></h2>\n";
        page += "<div class=\"meta\"><span class=\"date\">发表日期：2019-05-01</span>\n";
        page += "<span class=\"views\">点击：" + std::to_string(37 + i) + "</span></div>\n";
        page +=
            "<p class=\"excerpt\">直角三角形两条直角边的平方和等于斜边的平方。本文给出几种"
            "常见的证明，并配有课后练习。</p>\n";
    }
    page += "</div>\n<div class=\"footer\">版权所有 &copy; 示例站点</div>\n</body>\n</html>\n";
    return page;
}

// A page of the given size made of ordinary listing pages one after another.
std::string PageOfSize(std::size_t bytes) {
    const std::string unit = ReadTwelveBlockPage();
    std::string page;
    while (page.size() < bytes) {
        page += unit;
    }
    return page;
}

// Thousands of heading starts that never close, on long lines without line feeds, and a few
// heading lines that do end like a heading but have nothing behind them.
std::string AdversarialPage(std::size_t bytes) {
    std::string page;
    int line = 0;
    while (page.size() < bytes) {
        for (int i = 0; i < 2000; ++i) {
            page += "<h2><a href=\"x";
        }
        if (++line % 2 == 0) {
            page += "\">t</a></h2>";
        }
        page += '\n';
    }
    return page;
}

void BM_Utf8ToGbk(benchmark::State& state) {
    const std::string page = PageOfSize(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Utf8ToGbk(page));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Utf8ToGbk)->Arg(100 << 10)->Arg(4 << 20);

void BM_GbkToUtf8(benchmark::State& state) {
    const Text page = Utf8ToGbk(PageOfSize(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(GbkToUtf8(page));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_GbkToUtf8)->Arg(100 << 10)->Arg(4 << 20);

void ConvertAndParse(benchmark::State& state, const std::string& page) {
    RegexPattern pattern;
    pattern.Compile(ListingPattern());
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = ParseListing(Utf8ToGbk(page), pattern).size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_ConvertAndParseTwelveRows(benchmark::State& state) {
    ConvertAndParse(state, ReadTwelveBlockPage());
}
BENCHMARK(BM_ConvertAndParseTwelveRows)->Unit(benchmark::kMicrosecond);

void BM_ConvertAndParseLargePage(benchmark::State& state) {
    ConvertAndParse(state, PageOfSize(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_ConvertAndParseLargePage)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_ConvertAndParseAdversarial(benchmark::State& state) {
    ConvertAndParse(state, AdversarialPage(1 << 20));
}
BENCHMARK(BM_ConvertAndParseAdversarial)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vennadar

BENCHMARK_MAIN();
