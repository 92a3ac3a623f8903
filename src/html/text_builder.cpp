#include "html/text_builder.h"

#include <algorithm>
#include <utility>

namespace vennadar::html {
namespace {

constexpr std::string_view kZeroWidthSpace = "\xE2\x80\x8B";

bool IsCollapsible(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Length of the UTF-8 sequence at text[i] if it is a character the output leaves out or turns
// into a space; 0 otherwise. *space says which.
std::size_t SpecialSequence(std::string_view text, std::size_t i, bool* space) {
    const auto byte = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    *space = false;
    switch (byte(0)) {
        case 0xC2:
            if (byte(1) == 0xA0) {
                *space = true;  // no-break space
                return 2;
            }
            return byte(1) == 0xAD ? 2 : 0;  // soft hyphen
        case 0xE2:
            if (byte(1) == 0x80) {
                const unsigned third = byte(2);
                // U+200B..U+200F zero widths and marks, U+202A..U+202E embeddings
                return (third >= 0x8B && third <= 0x8F) || (third >= 0xAA && third <= 0xAE) ? 3 : 0;
            }
            if (byte(1) == 0x81) {
                const unsigned third = byte(2);
                // U+2060..U+2064 word joiner and invisible operators, U+2066..U+2069 isolates
                return (third >= 0xA0 && third <= 0xA4) || (third >= 0xA6 && third <= 0xA9) ? 3 : 0;
            }
            return 0;
        case 0xEF:
            return byte(1) == 0xBB && byte(2) == 0xBF ? 3 : 0;  // byte-order mark
        default:
            return 0;
    }
}

}  // namespace

void TextBuilder::AddCollapsible(std::string_view text, bool visible) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        if (IsCollapsible(text[i])) {
            bool newline = false;
            while (end < text.size() && IsCollapsible(text[end])) {
                newline = newline || text[end] == '\n';
                ++end;
            }
            AddSpace(newline, visible);
        } else {
            while (end < text.size() && !IsCollapsible(text[end])) {
                ++end;
            }
            AddContent(text.substr(i, end - i), visible);
        }
        i = end;
    }
}

void TextBuilder::AddPreserved(std::string_view text, bool visible) {
    if (text.empty()) {
        return;
    }
    AddContent(text, visible);
    if (text.back() == '\n') {
        line_.edge = Edge::kStart;
    }
}

void TextBuilder::AddAtomic() {
    KeepSpace();
    line_ = LineState{};
    line_.edge = Edge::kContent;
}

void TextBuilder::AddWordBreak() {
    if (line_.edge == Edge::kSpace && line_.space_had_newline) {
        DropSpace();
        line_.edge = Edge::kContent;
    }
    line_.after_zwsp = line_.edge == Edge::kContent;
}

void TextBuilder::EndLine() {
    if (line_.edge == Edge::kSpace) {
        DropSpace();
    }
    line_ = LineState{};
}

void TextBuilder::AddRequiredBreaks(int count) {
    int& pending = line_.space_deferred ? breaks_after_space_ : pending_breaks_;
    pending = std::max(pending, count);
}

void TextBuilder::AddLabel(std::string_view text) {
    if (!text.empty()) {
        PutVisible(text);
    }
}

void TextBuilder::AddControl(char c) {
    FlushBreaks();
    Put(std::string_view(&c, 1));
}

LineState TextBuilder::BeginInnerLine() {
    if (line_.edge == Edge::kSpace && line_.space_deferred) {
        PlaceDeferredSpace();
        line_.space_written = true;
        line_.space_at = out_.size() - 1;
    }
    const LineState outer = line_;
    line_ = LineState{};
    return outer;
}

void TextBuilder::EndInnerLine(const LineState& outer) {
    EndLine();
    line_ = outer;
}

std::string TextBuilder::Finish() {
    std::erase(out_, '\0');
    return std::move(out_);
}

void TextBuilder::AddSpace(bool newline, bool visible) {
    if (line_.edge == Edge::kSpace) {
        line_.space_had_newline = line_.space_had_newline || newline;
        return;
    }
    if (line_.edge == Edge::kStart || (newline && line_.after_zwsp)) {
        return;  // a segment break next to a zero-width space goes entirely
    }
    line_.edge = Edge::kSpace;
    line_.space_had_newline = newline;
    line_.space_written = false;
    line_.space_deferred = false;
    if (!visible) {
        return;
    }
    if (pending_breaks_ > 0) {
        line_.space_deferred = true;
    } else {
        line_.space_written = true;
        line_.space_at = out_.size();
        Put(" ");
    }
}

void TextBuilder::AddContent(std::string_view chunk, bool visible) {
    if (line_.edge == Edge::kSpace && line_.space_had_newline &&
        chunk.starts_with(kZeroWidthSpace)) {
        DropSpace();
    } else {
        KeepSpace();
    }
    line_ = LineState{};
    line_.edge = Edge::kContent;
    line_.after_zwsp = chunk.ends_with(kZeroWidthSpace);
    if (visible) {
        PutVisible(chunk);
    }
}

void TextBuilder::KeepSpace() {
    if (line_.edge == Edge::kSpace && line_.space_deferred) {
        PlaceDeferredSpace();
    }
}

void TextBuilder::DropSpace() {
    if (line_.space_written) {
        out_[line_.space_at] = '\0';  // removed in Finish
        --content_;
    } else if (line_.space_deferred) {
        pending_breaks_ = std::max(pending_breaks_, breaks_after_space_);
        breaks_after_space_ = 0;
    }
    line_.space_written = false;
    line_.space_deferred = false;
}

void TextBuilder::PlaceDeferredSpace() {
    FlushBreaks();
    Put(" ");
    pending_breaks_ = breaks_after_space_;
    breaks_after_space_ = 0;
    line_.space_deferred = false;
}

void TextBuilder::PutVisible(std::string_view chunk) {
    FlushBreaks();
    std::size_t run = 0;
    std::size_t i = 0;
    while (i < chunk.size()) {
        bool space = false;
        const std::size_t length = SpecialSequence(chunk, i, &space);
        if (length == 0) {
            ++i;
            continue;
        }
        out_.append(chunk.substr(run, i - run));
        if (space) {
            out_ += ' ';
        }
        i += length;
        run = i;
    }
    out_.append(chunk.substr(run));
    ++content_;
}

void TextBuilder::FlushBreaks() {
    if (pending_breaks_ > 0 && content_ > 0) {
        out_.append(static_cast<std::size_t>(pending_breaks_), '\n');
    }
    pending_breaks_ = 0;
}

void TextBuilder::Put(std::string_view bytes) {
    out_.append(bytes);
    ++content_;
}

}  // namespace vennadar::html
