#define PCRE2_CODE_UNIT_WIDTH 8
#include "core/text/regex.h"

#include <pcre2.h>

#include <algorithm>
#include <cstdint>

#include "core/text/code_page.h"

namespace vennadar {
namespace {

// Bounds the work of one search so that a hostile page cannot keep the window busy for long;
// the program's own pages need a tiny fraction of this.
constexpr std::uint32_t kMatchLimit = 20'000'000;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 16 * 1024 * 1024;

const Text& EmptyText() {
    static const Text empty;
    return empty;
}

}  // namespace

const Text& RegexMatch::WholeText() const {
    return GroupText(0);
}

const Text& RegexMatch::GroupText(std::size_t group) const {
    return group < groups_.size() ? groups_[group] : EmptyText();
}

RegexSubject::RegexSubject(std::string_view gbk) : utf8_(GbkToUtf8(gbk)) {}

struct RegexPattern::Compiled {
    pcre2_code* code = nullptr;
    pcre2_match_data* match_data = nullptr;
    pcre2_match_context* match_context = nullptr;
    pcre2_jit_stack* jit_stack = nullptr;
    bool jit = false;

    ~Compiled() {
        pcre2_jit_stack_free(jit_stack);
        pcre2_match_context_free(match_context);
        pcre2_match_data_free(match_data);
        pcre2_code_free(code);
    }
};

RegexPattern::RegexPattern() = default;
RegexPattern::~RegexPattern() = default;

bool RegexPattern::Compile(const Text& pattern) {
    compiled_.reset();
    const std::string utf8 = GbkToUtf8(pattern);
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(context, PCRE2_NEWLINE_LF);
    int error = 0;
    PCRE2_SIZE error_offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(),
                                     PCRE2_UTF, &error, &error_offset, context);
    pcre2_compile_context_free(context);
    if (code == nullptr) {
        return false;
    }
    auto compiled = std::make_unique<Compiled>();
    compiled->code = code;
    compiled->match_data = pcre2_match_data_create_from_pattern(code, nullptr);
    compiled->match_context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(compiled->match_context, kMatchLimit);
    if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) {
        compiled->jit_stack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
        if (compiled->jit_stack != nullptr) {
            pcre2_jit_stack_assign(compiled->match_context, nullptr, compiled->jit_stack);
            compiled->jit = true;
        }
    }
    compiled_ = std::move(compiled);
    return true;
}

bool RegexPattern::Next(const std::string& text, std::size_t end, Cursor& cursor,
                        RegexMatch& match) const {
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    while (cursor.offset <= end) {
        std::uint32_t options = PCRE2_NO_UTF_CHECK;
        if (cursor.after_empty) {
            // Never the same empty match twice: first try a non-empty one at the same place.
            options |= PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
        }
        int rc = pcre2_match(compiled_->code, subject, end, cursor.offset, options,
                             compiled_->match_data, compiled_->match_context);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
            // Deep repetition on a huge subject: the interpreter keeps its frames on the heap.
            rc = pcre2_match(compiled_->code, subject, end, cursor.offset, options | PCRE2_NO_JIT,
                             compiled_->match_data, compiled_->match_context);
        }
        if (rc == PCRE2_ERROR_NOMATCH && cursor.after_empty) {
            cursor.after_empty = false;
            if (cursor.offset >= end) {
                return false;
            }
            ++cursor.offset;  // step over one whole character
            while (cursor.offset < end &&
                   (static_cast<unsigned char>(text[cursor.offset]) & 0xC0) == 0x80) {
                ++cursor.offset;
            }
            continue;
        }
        if (rc < 0) {
            return false;  // no match, or the engine gave up on a pathological subject
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(compiled_->match_data);
        const std::uint32_t pairs = pcre2_get_ovector_count(compiled_->match_data);
        std::vector<Text> groups(pairs);
        for (std::uint32_t i = 0; i < pairs && i < static_cast<std::uint32_t>(rc); ++i) {
            if (ovector[2 * i] == PCRE2_UNSET || ovector[2 * i + 1] < ovector[2 * i]) {
                continue;
            }
            groups[i] = Utf8ToGbk(
                std::string_view(text).substr(ovector[2 * i], ovector[2 * i + 1] - ovector[2 * i]));
        }
        match = RegexMatch(std::move(groups));
        cursor.after_empty = ovector[0] == ovector[1];
        cursor.offset = std::max(ovector[0], ovector[1]);
        return true;
    }
    return false;
}

bool RegexPattern::FindIn(const RegexSubject& subject, std::size_t start, std::size_t end,
                          RegexMatch& match, std::size_t& next) const {
    if (!compiled_) {
        return false;
    }
    Cursor cursor{start, false};
    const bool found = Next(subject.Utf8(), std::min(end, subject.Utf8().size()), cursor, match);
    next = cursor.offset;
    return found;
}

std::vector<RegexMatch> RegexPattern::FindAll(const RegexSubject& subject) const {
    std::vector<RegexMatch> matches;
    if (!compiled_) {
        return matches;
    }
    Cursor cursor;
    RegexMatch match;
    while (Next(subject.Utf8(), subject.Utf8().size(), cursor, match)) {
        matches.push_back(std::move(match));
    }
    return matches;
}

std::vector<RegexMatch> RegexPattern::FindAll(const Text& subject) const {
    return FindAll(RegexSubject(subject));
}

RegexMatch RegexPattern::FindFirst(const Text& subject) const {
    const RegexSubject prepared(subject);
    RegexMatch match;
    std::size_t next = 0;
    if (!FindIn(prepared, 0, prepared.Utf8().size(), match, next)) {
        return RegexMatch();
    }
    return match;
}

}  // namespace vennadar
