#pragma once

#include <optional>
#include <string>

#include "core/text/text.h"

namespace vennadar {

// Message-box styles and answers, with the values of the system message box.
inline constexpr int kStyleOk = 0x00;
inline constexpr int kStyleYesNo = 0x04;
inline constexpr int kStyleErrorIcon = 0x10;
inline constexpr int kStyleQuestionIcon = 0x20;
inline constexpr int kStyleWarningIcon = 0x30;
inline constexpr int kStyleInformationIcon = 0x40;
// The second button (No) is the default, for questions whose Yes cannot be undone.
inline constexpr int kStyleDefaultSecond = 0x100;

inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Modal message boxes. Texts are GBK.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Shows the box and returns the answer (kAnswerOk, kAnswerYes or kAnswerNo).
    virtual int ShowMessage(const Text& text, const Text& title, int style) = 0;
    // Asks where to save a file: the proposed file name (GBK), a filter description (GBK) and
    // its pattern. Returns the chosen path (UTF-8), or nothing when the user cancels.
    virtual std::optional<std::string> AskSavePath(const Text& proposed_name,
                                                   const Text& filter_description,
                                                   const std::string& filter_pattern) = 0;
};

}  // namespace vennadar
