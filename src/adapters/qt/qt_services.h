#pragma once

#include <QPointer>
#include <QWidget>

#include "core/ports/desktop.h"
#include "core/ports/dialogs.h"
#include "core/ports/http.h"

namespace vennadar {

// Message boxes as QMessageBox, modal over the given window.
class QtDialogs final : public Dialogs {
  public:
    void SetParent(QWidget* parent) { parent_ = parent; }
    int ShowMessage(const Text& text, const Text& title, int style) override;
    std::optional<std::string> AskSavePath(const Text& proposed_name,
                                           const Text& filter_description,
                                           const std::string& filter_pattern) override;

  private:
    QPointer<QWidget> parent_;
};

// The desktop through Qt: the browser by QDesktopServices, programs by QProcess (no shell).
class QtDesktop final : public Desktop {
  public:
    void OpenUrl(const std::string& address) override;
    bool StartProgram(const std::string& program, const std::vector<std::string>& args) override;
    std::string ProgramDirectory() override;
    std::string ExecutablePath() override;
};

}  // namespace vennadar
