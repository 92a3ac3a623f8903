// Builds the site's articles from the bundled seed file (content/articles.txt). Everything that
// varies between articles (order, id, date, clicks, markup style) is derived from the titles, so
// every run and every machine serves byte-identical pages.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sample-site/embedded.h"
#include "sample-site/html.h"
#include "sample-site/sample_site.h"

namespace vennadar::sample_site {
namespace {

enum class SeedKind {
    kParagraph,
    kBullet,
    kNumbered,
    kTableRow,
    kImage,
    kLink,
    kAudio,
    kAudioRelative,
    kAudioSplit,
};

struct Seed {
    SeedKind kind;
    std::string text;   // paragraph or item text, table row, image name, link url, audio name
    std::string extra;  // image alt, link caption
};

struct Draft {
    std::string slug;
    std::string title;
    std::vector<Seed> seeds;
    std::uint32_t hash = 0;
    int id = 0;
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// "left | right" -> {left, right}; no bar -> {text, ""}.
std::pair<std::string, std::string> SplitBar(std::string_view text) {
    const std::size_t bar = text.find('|');
    if (bar == std::string_view::npos) {
        return {std::string(Trim(text)), {}};
    }
    return {std::string(Trim(text.substr(0, bar))), std::string(Trim(text.substr(bar + 1)))};
}

std::uint32_t Fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// Independent-looking numbers from one hash, one per purpose.
std::uint32_t Mix(std::uint32_t hash, std::uint32_t salt) {
    std::uint64_t x = (static_cast<std::uint64_t>(hash) << 32) ^ salt;
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(x ^ (x >> 31));
}

Seed ParseSeed(std::string_view line) {
    struct Prefix {
        std::string_view text;
        SeedKind kind;
    };
    static constexpr Prefix kPrefixes[] = {
        {"audio-rel:", SeedKind::kAudioRelative},
        {"audio-split:", SeedKind::kAudioSplit},
        {"audio:", SeedKind::kAudio},
        {"img:", SeedKind::kImage},
        {"link:", SeedKind::kLink},
        {"* ", SeedKind::kBullet},
        {"+ ", SeedKind::kNumbered},
        {"|", SeedKind::kTableRow},
    };
    for (const Prefix& prefix : kPrefixes) {
        if (!line.starts_with(prefix.text)) {
            continue;
        }
        const std::string_view rest = Trim(line.substr(prefix.text.size()));
        switch (prefix.kind) {
            case SeedKind::kAudio:
            case SeedKind::kAudioRelative:
            case SeedKind::kAudioSplit:
                // The server only routes such names; anything else would be a dead player.
                if (rest.empty() || !std::all_of(rest.begin(), rest.end(), [](char c) {
                        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
                    })) {
                    throw std::logic_error("articles.txt: bad audio name: " + std::string(rest));
                }
                return {prefix.kind, std::string(rest), {}};
            case SeedKind::kImage:
            case SeedKind::kLink: {
                auto [first, second] = SplitBar(rest);
                return {prefix.kind, std::move(first), std::move(second)};
            }
            default:
                return {prefix.kind, std::string(rest), {}};
        }
    }
    return {SeedKind::kParagraph, std::string(line), {}};
}

std::vector<Draft> ParseSource(std::string_view source) {
    std::vector<Draft> drafts;
    while (!source.empty()) {
        const std::size_t end = source.find('\n');
        const std::string_view line = Trim(source.substr(0, end));
        source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        if (line.starts_with("== ")) {
            auto [slug, title] = SplitBar(line.substr(3));
            if (CategoryName(slug).empty() || title.empty()) {
                throw std::logic_error("articles.txt: bad header: " + std::string(line));
            }
            drafts.push_back(Draft{std::move(slug), std::move(title), {}, 0, 0});
            continue;
        }
        if (drafts.empty()) {
            throw std::logic_error("articles.txt: text before the first article");
        }
        drafts.back().seeds.push_back(ParseSeed(line));
    }
    return drafts;
}

// Replaces paired markers ("**a**") with an opening and a closing tag, in turn.
std::string ReplacePairs(std::string_view text, std::string_view marker, std::string_view open,
                         std::string_view close) {
    std::string out;
    bool inside = false;
    std::size_t at = 0;
    for (std::size_t found = text.find(marker); found != std::string_view::npos;
         found = text.find(marker, at)) {
        out.append(text.substr(at, found - at));
        out.append(inside ? close : open);
        inside = !inside;
        at = found + marker.size();
    }
    out.append(text.substr(at));
    return out;
}

std::string FormatDate(std::chrono::sys_days day) {
    const std::chrono::year_month_day date{day};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

// Superscript and subscript characters (x², aₙ) as <sup>/<sub> runs: the way editors write
// formulas, and the form survives the reader's GBK, which has no such characters.
std::string ScriptsToTags(std::string_view text) {
    struct Script {
        std::string_view character;
        char plain;
        bool super;
    };
    static constexpr Script kScripts[] = {
        {"⁰", '0', true},  {"¹", '1', true},  {"²", '2', true},  {"³", '3', true},
        {"⁴", '4', true},  {"⁵", '5', true},  {"⁶", '6', true},  {"⁷", '7', true},
        {"⁸", '8', true},  {"⁹", '9', true},  {"⁺", '+', true},  {"⁻", '-', true},
        {"ⁿ", 'n', true},  {"₀", '0', false}, {"₁", '1', false}, {"₂", '2', false},
        {"₃", '3', false}, {"₄", '4', false}, {"₅", '5', false}, {"₆", '6', false},
        {"₇", '7', false}, {"₈", '8', false}, {"₉", '9', false}, {"₊", '+', false},
        {"₋", '-', false}, {"ₐ", 'a', false}, {"ₘ", 'm', false}, {"ₙ", 'n', false},
    };
    std::string out;
    std::string run;  // plain characters of the open run
    bool run_super = false;
    const auto close_run = [&] {
        if (!run.empty()) {
            const char* tag = run_super ? "sup" : "sub";
            out += std::string("<") + tag + ">" + run + "</" + tag + ">";
            run.clear();
        }
    };
    for (std::size_t at = 0; at < text.size();) {
        const Script* found = nullptr;
        for (const Script& script : kScripts) {
            if (text.substr(at).starts_with(script.character)) {
                found = &script;
                break;
            }
        }
        if (found == nullptr) {
            close_run();
            out += text[at++];
            continue;
        }
        if (found->super != run_super) {
            close_run();
        }
        run_super = found->super;
        run += found->plain;
        at += found->character.size();
    }
    close_run();
    return out;
}

constexpr std::string_view kIndent = "&nbsp;&nbsp;&nbsp;&nbsp;";

// Writes one article's body. The markup varies with the article the way posts written over the
// years in different editors do, so a reader meets every form it has to cope with.
class BodyComposer {
  public:
    explicit BodyComposer(const Draft& draft)
        : draft_(draft),
          style_(static_cast<int>(Mix(draft.hash, 1) % 4)),
          bold_as_b_(Mix(draft.hash, 2) % 2 == 0),
          numeric_quotes_(Mix(draft.hash, 3) % 2 == 0),
          numeric_zhong_(Mix(draft.hash, 4) % 4 == 0),
          self_closing_br_(Mix(draft.hash, 5) % 2 == 0) {}

    std::vector<std::string> Compose(const Draft* related) {
        const std::vector<Seed>& seeds = draft_.seeds;
        for (std::size_t at = 0; at < seeds.size();) {
            const SeedKind kind = seeds[at].kind;
            std::size_t run_end = at + 1;
            while (run_end < seeds.size() && seeds[run_end].kind == kind) {
                ++run_end;
            }
            switch (kind) {
                case SeedKind::kBullet:
                case SeedKind::kNumbered:
                    AddList(seeds, at, run_end, kind == SeedKind::kNumbered ? "ol" : "ul");
                    at = run_end;
                    continue;
                case SeedKind::kTableRow:
                    AddTable(seeds, at, run_end);
                    at = run_end;
                    continue;
                default:
                    AddSingle(seeds[at]);
                    ++at;
            }
        }
        if (style_ == 3) {
            lines_.push_back("<p>&nbsp;</p>");
        }
        if (related != nullptr) {
            lines_.push_back("<p><a href=\"http://" + std::string(kHostPlaceholder) + "/archives/" +
                             std::to_string(related->id) + ".html\">相关文章：" +
                             EscapeHtml(related->title) + "</a></p>");
        }
        if (style_ == 1) {
            lines_.push_back("<p style=\"text-align:right\">（本站编辑整理）</p>");
        }
        return std::move(lines_);
    }

    const std::vector<std::string>& AudioNames() const { return audio_names_; }

  private:
    std::string Inline(std::string_view text) const {
        std::string html = EscapeHtml(text);
        html = bold_as_b_ ? ReplacePairs(html, "**", "<b>", "</b>")
                          : ReplacePairs(html, "**", "<strong>", "</strong>");
        html = ReplacePairs(html, "!!", "<span style=\"color:#c00\">", "</span>");
        html = ScriptsToTags(html);
        html = ReplaceAll(html, "//", self_closing_br_ ? "<br />" : "<br>");
        html = ReplaceAll(html, "·", "&middot;");
        html = ReplaceAll(html, "……", "&hellip;&hellip;");
        if (numeric_quotes_) {
            html = ReplaceAll(html, "“", "&#8220;");
            html = ReplaceAll(html, "”", "&#8221;");
        }
        if (numeric_zhong_) {
            html = ReplaceAll(html, "中", "&#x4E2D;");
        }
        return html;
    }

    void AddParagraph(std::string_view text) {
        const std::string html = Inline(text);
        const bool first = paragraphs_ == 0;
        switch (style_) {
            case 0:
                lines_.push_back("<p>" + std::string(kIndent) + html + "</p>");
                break;
            case 1:
                lines_.push_back("<p>" + html + "</p>");
                break;
            case 2:
                // Old editor: no paragraphs, indented lines ended by line breaks.
                lines_.push_back(std::string(kIndent) + html +
                                 (paragraphs_ % 2 == 0 ? "<br />" : "<br>"));
                break;
            default:
                if (first && text.find("**") == std::string_view::npos) {
                    lines_.push_back("<p><strong>" + html + "</strong></p>");
                } else {
                    lines_.push_back("<p style=\"text-indent:2em\">" + html + "</p>");
                }
        }
        ++paragraphs_;
    }

    void AddList(const std::vector<Seed>& seeds, std::size_t begin, std::size_t end,
                 const std::string& tag) {
        lines_.push_back("<" + tag + ">");
        for (std::size_t at = begin; at < end; ++at) {
            lines_.push_back("<li>" + Inline(seeds[at].text) + "</li>");
        }
        lines_.push_back("</" + tag + ">");
    }

    void AddTable(const std::vector<Seed>& seeds, std::size_t begin, std::size_t end) {
        lines_.push_back("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">");
        for (std::size_t at = begin; at < end; ++at) {
            const char* cell = at == begin ? "th" : "td";
            std::string row = "<tr>";
            std::string_view rest = seeds[at].text;
            while (true) {
                const std::size_t bar = rest.find('|');
                row += std::string("<") + cell + ">" + Inline(Trim(rest.substr(0, bar))) + "</" +
                       cell + ">";
                if (bar == std::string_view::npos) {
                    break;
                }
                rest.remove_prefix(bar + 1);
            }
            lines_.push_back(row + "</tr>");
        }
        lines_.push_back("</table>");
    }

    void AddSingle(const Seed& seed) {
        const std::string host_root = "http://" + std::string(kHostPlaceholder);
        switch (seed.kind) {
            case SeedKind::kImage:
                lines_.push_back("<p style=\"text-align:center\"><img src=\"/images/" + seed.text +
                                 ".png\" alt=\"" + EscapeHtml(seed.extra) + "\"></p>");
                break;
            case SeedKind::kLink:
                lines_.push_back("<p>" + std::string(style_ == 2 ? kIndent : "") + "<a href=\"" +
                                 EscapeHtml(seed.text) + "\" target=\"_blank\">" +
                                 Inline(seed.extra) + "</a></p>");
                break;
            case SeedKind::kAudio:
                lines_.push_back("<p><audio controls=\"controls\" src=\"" + host_root + "/audio/" +
                                 seed.text + ".mp3\" preload=\"none\"></audio></p>");
                audio_names_.push_back(seed.text);
                break;
            case SeedKind::kAudioRelative:
                lines_.push_back("<p><audio controls=\"controls\" src=\"/audio/" + seed.text +
                                 ".mp3\" preload=\"none\"></audio></p>");
                audio_names_.push_back(seed.text);
                break;
            case SeedKind::kAudioSplit:
                // Broken the way some editors wrap long tags.
                lines_.push_back("<p><audio controls=\"controls\" preload=\"none\"");
                lines_.push_back("src=\"" + host_root + "/audio/" + seed.text +
                                 ".mp3\"></audio></p>");
                audio_names_.push_back(seed.text);
                break;
            default:
                AddParagraph(seed.text);
        }
    }

    const Draft& draft_;
    const int style_;
    const bool bold_as_b_;
    const bool numeric_quotes_;
    const bool numeric_zhong_;
    const bool self_closing_br_;
    int paragraphs_ = 0;
    std::vector<std::string> lines_;
    std::vector<std::string> audio_names_;
};

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += (i == 0 ? "" : "\n") + lines[i];
    }
    return out;
}

std::vector<Article> BuildArticles() {
    std::vector<Draft> drafts = ParseSource(embedded::ArticlesSource());
    for (Draft& draft : drafts) {
        draft.hash = Fnv1a(draft.title);
    }
    // Publication order: shuffled by title hash so categories interleave on the home listing.
    std::stable_sort(drafts.begin(), drafts.end(), [](const Draft& a, const Draft& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.title < b.title;
    });

    // Ids grow with publication but skip a little, as ids do when drafts get deleted.
    for (std::size_t i = 0; i < drafts.size(); ++i) {
        drafts[i].id = 12 + 3 * static_cast<int>(i) + static_cast<int>(Mix(drafts[i].hash, 6) % 3);
    }

    // Dates spread evenly from early 2018 to late 2024, jittered but never out of order.
    using std::chrono::days;
    const std::chrono::sys_days first_day{std::chrono::year{2018} / std::chrono::January / 5};
    constexpr int kSpanDays = 2540;
    const int last = static_cast<int>(drafts.size()) - 1;

    std::vector<Article> articles;
    articles.reserve(drafts.size());
    for (int i = 0; i <= last; ++i) {
        const Draft& draft = drafts[i];
        int offset = last == 0 ? 0 : i * kSpanDays / last;
        if (i > 0 && i < last) {
            offset -= static_cast<int>(Mix(draft.hash, 7) % 9);
        }
        // Older posts gathered more clicks; a few never took off.
        std::uint32_t clicks = (last - i + 1) * 50 + Mix(draft.hash, 8) % 3000;
        if (Mix(draft.hash, 9) % 11 == 0) {
            clicks = 1 + Mix(draft.hash, 10) % 40;
        }

        // Every third article of a category points at the one before it.
        const Draft* related = nullptr;
        int ordinal = 0;
        for (int j = 0; j < i; ++j) {
            if (drafts[j].slug == draft.slug) {
                related = &drafts[j];
                ++ordinal;
            }
        }
        if (ordinal % 3 != 1) {
            related = nullptr;
        }

        BodyComposer composer(draft);
        const std::string body = JoinLines(composer.Compose(related));
        articles.push_back(Article{draft.id, draft.slug, draft.title,
                                   FormatDate(first_day + days{offset}),
                                   static_cast<int>(std::min<std::uint32_t>(clicks, 9999)), body,
                                   !composer.AudioNames().empty(), composer.AudioNames()});
    }
    std::reverse(articles.begin(), articles.end());
    return articles;
}

}  // namespace

const std::vector<Category>& Categories() {
    static const std::vector<Category> kCategories = {
        {"zxdt", "最新动态"}, {"jdxt", "经典习题"}, {"gkst", "高考试题"}, {"zsgn", "知识归纳"},
        {"jcxg", "教材相关"}, {"kyzs", "课外知识"}, {"wyzs", "文艺展示"}, {"xxgj", "学习工具"},
    };
    return kCategories;
}

std::string CategoryName(std::string_view slug) {
    for (const Category& category : Categories()) {
        if (category.slug == slug) {
            return category.name;
        }
    }
    return {};
}

const std::vector<Article>& Articles() {
    static const std::vector<Article> kArticles = BuildArticles();
    return kArticles;
}

const Article* FindArticle(int id) {
    for (const Article& article : Articles()) {
        if (article.id == id) {
            return &article;
        }
    }
    return nullptr;
}

std::vector<const Article*> ArticlesInCategory(std::string_view slug) {
    std::vector<const Article*> found;
    for (const Article& article : Articles()) {
        if (article.slug == slug) {
            found.push_back(&article);
        }
    }
    return found;
}

std::vector<const Article*> SearchArticles(std::string_view keyword) {
    // Visible texts are computed once; a search then is a plain scan.
    struct Searchable {
        const Article* article;
        std::string text;
    };
    static const std::vector<Searchable> kSearchable = [] {
        std::vector<Searchable> all;
        for (const Article& article : Articles()) {
            all.push_back({&article, VisibleText(article.body_html)});
        }
        return all;
    }();
    std::vector<const Article*> found;
    if (keyword.empty()) {
        return found;
    }
    for (const Searchable& item : kSearchable) {
        if (item.article->title.find(keyword) != std::string::npos ||
            item.text.find(keyword) != std::string::npos) {
            found.push_back(item.article);
        }
    }
    return found;
}

std::string BodyForHost(const Article& article, std::string_view host) {
    return ReplaceAll(article.body_html, kHostPlaceholder, host);
}

const std::vector<std::string>& AudioNames() {
    static const std::vector<std::string> kNames = [] {
        std::vector<std::string> names;
        for (const Article& article : Articles()) {
            names.insert(names.end(), article.audio_names.begin(), article.audio_names.end());
        }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    }();
    return kNames;
}

std::string_view AudioBytes() {
    return embedded::Melody();
}

std::string_view ImageBytes() {
    return embedded::Figure();
}

}  // namespace vennadar::sample_site
