#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/text.h"

namespace vennadar {

// One found occurrence: group 0 is the whole match, groups 1.. the parenthesised parts, all as
// GBK text. A group that took no part in the match is empty.
class RegexMatch {
  public:
    RegexMatch() = default;
    explicit RegexMatch(std::vector<Text> groups) : groups_(std::move(groups)) {}

    const Text& WholeText() const;
    const Text& GroupText(std::size_t group) const;
    std::size_t GroupCount() const { return groups_.size(); }

  private:
    std::vector<Text> groups_;
};

// A subject prepared once for several searches: the engine works on the UTF-8 form so that a GBK
// trail byte can never be read as an ASCII character of the pattern.
class RegexSubject {
  public:
    explicit RegexSubject(std::string_view gbk);
    const std::string& Utf8() const { return utf8_; }

  private:
    std::string utf8_;
};

// A pattern object. Compiled with no options: case-sensitive, "." matches anything but a line
// feed (a carriage return is ordinary), \s and \d are ASCII only.
class RegexPattern {
  public:
    RegexPattern();
    ~RegexPattern();
    RegexPattern(const RegexPattern&) = delete;
    RegexPattern& operator=(const RegexPattern&) = delete;

    // Compiles a GBK pattern text, replacing any earlier one. Returns false when it does not
    // compile; the object then matches nothing.
    bool Compile(const Text& pattern);

    // All non-overlapping matches from left to right.
    std::vector<RegexMatch> FindAll(const Text& subject) const;
    std::vector<RegexMatch> FindAll(const RegexSubject& subject) const;

    // The first match, or a match with empty texts.
    RegexMatch FindFirst(const Text& subject) const;

    // The leftmost match starting at or after byte `start` of the UTF-8 subject, looking only at
    // the bytes before `end`. `next` receives where a following search resumes. False when there
    // is none (or the engine gave up on a pathological subject).
    bool FindIn(const RegexSubject& subject, std::size_t start, std::size_t end, RegexMatch& match,
                std::size_t& next) const;

  private:
    struct Compiled;
    struct Cursor {
        std::size_t offset = 0;
        bool after_empty = false;  // the last match was empty and ended at offset
    };
    bool Next(const std::string& utf8, std::size_t end, Cursor& cursor, RegexMatch& match) const;

    std::unique_ptr<Compiled> compiled_;
};

}  // namespace vennadar
