#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vennadar::html {

// The text, built in one pass

// Where the current line stands for white-space collapsing.
enum class Edge : std::uint8_t {
    kStart,    // nothing yet since the line began: collapsible spaces are dropped
    kSpace,    // ends with a collapsible space: more of them are dropped
    kContent,  // ends with content: the next run of collapsible spaces becomes one space
};

// With Edge::kSpace the space is either already in the text at space_at (taken back if the
// line ends there), or deferred: required line breaks were pending when it came, so whether
// they go before it depends on what follows. A space of invisible text is neither.
struct LineState {
    Edge edge = Edge::kStart;
    bool space_written = false;
    bool space_deferred = false;
    bool space_had_newline = false;  // for the zero-width-space rule
    bool after_zwsp = false;         // the line's content ends with a zero-width space
    std::size_t space_at = 0;
};

// The innerText result as it grows: content, required line breaks (a run of them becomes as
// many line feeds as the largest asks for, none at the start or end), and the white-space
// collapsing of the line being laid out.
class TextBuilder {
  public:
    // Text under white-space: normal.
    void AddCollapsible(std::string_view text, bool visible);

    // Text under white-space: pre: every character is content.
    void AddPreserved(std::string_view text, bool visible);

    // An atomic inline (image, control, inline-block) or generated content: content without
    // text here.
    void AddAtomic();

    // wbr: a zero-width space to the layout, so a segment break next to it goes; otherwise
    // nothing.
    void AddWordBreak();

    // A forced break or the edge of a block: a collapsible space at the end of the line goes.
    void EndLine();

    void AddRequiredBreaks(int count);

    // Text shown as it is, outside the layout (an option's label).
    void AddLabel(std::string_view text);

    // A line feed (br, end of a table row) or tab (end of a table cell).
    void AddControl(char c);

    // A box with lines of its own inside the current line: returns the outer line's state, to
    // be given back to EndInnerLine. The box's text follows a deferred space of the outer line,
    // so that space is placed now, still to be taken back if the outer line ends there.
    LineState BeginInnerLine();
    void EndInnerLine(const LineState& outer);

    std::string Finish();

  private:
    void AddSpace(bool newline, bool visible);

    void AddContent(std::string_view chunk, bool visible);

    // Content follows the line's space in the same line: it stays.
    void KeepSpace();

    // The line's space goes: taken back if written; if deferred, the breaks around it merge.
    void DropSpace();

    void PlaceDeferredSpace();

    // Writes content with no-break spaces as spaces and invisible format characters left out.
    // Those still count as content, as in the browser, for placing required line breaks.
    void PutVisible(std::string_view chunk);

    // Required line breaks go only between pieces of content: not before the first.
    void FlushBreaks();

    void Put(std::string_view bytes);

    // The text; a space taken back is marked with NUL, which the text never holds otherwise
    // (the input ends at its first NUL and gumbo turns &#0; into U+FFFD).
    std::string out_;
    std::size_t content_ = 0;  // pieces of content written and not taken back
    int pending_breaks_ = 0;
    int breaks_after_space_ = 0;  // required line breaks after a deferred space
    LineState line_;
};

}  // namespace vennadar::html
