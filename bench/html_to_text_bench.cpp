// HtmlToText on article bodies of realistic sizes, built by repeating the sample article. Opening
// an article must stay well inside 20 ms for a 200 KiB body, and the cost must grow linearly.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "core/text/code_page.h"
#include "html/html_to_text.h"

namespace vennadar {
namespace {

std::string ReadSample() {
    std::ifstream in(std::string(VENNADAR_FIXTURE_DIR) + "/html/article_body.html",
                     std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A GBK body of at least `size` bytes: the sample article over and over, each copy in a <div>.
Text BodyOfSize(std::size_t size) {
    const Text article = Utf8ToGbk("<div>" + ReadSample() + "</div>\n");
    Text body;
    while (!article.empty() && body.size() < size) {
        body += article;
    }
    return body;
}

void BM_HtmlToText(benchmark::State& state) {
    const Text body = BodyOfSize(static_cast<std::size_t>(state.range(0)));
    if (body.empty()) {
        state.SkipWithError("sample article not found");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(HtmlToText(body));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(body.size()));
    state.counters["body_bytes"] = static_cast<double>(body.size());
}

BENCHMARK(BM_HtmlToText)->Arg(200 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vennadar

BENCHMARK_MAIN();
