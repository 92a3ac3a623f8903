#pragma once

#include "core/state/listing_row.h"
#include "core/text/text.h"

namespace vennadar {

// What the operations need of the main window. Row indexes count from 0; -1 means no row.
class MainView {
  public:
    virtual ~MainView() = default;

    virtual Text Title() const = 0;
    virtual void SetTitle(const Text& title) = 0;

    virtual void ClearList() = 0;
    virtual void AppendRow(const Text& text) = 0;
    virtual int RowCount() const = 0;
    virtual Text RowText(int index) const = 0;
    virtual int SelectedIndex() const = 0;
    virtual void SetSelectedIndex(int index) = 0;  // out of range: nothing selected
    virtual void FocusList() = 0;
    // An article row's state, said after the row's text and shown beside it; the row's text
    // itself stays as it is.
    virtual void SetRowMark(int index, RowMark mark) {
        static_cast<void>(index);
        static_cast<void>(mark);
    }
    // Says a short notice once, on the control that has the focus (after the row it says).
    virtual void Announce(const Text& notice) { static_cast<void>(notice); }

    virtual Text SearchText() const = 0;
    virtual void FocusSearchBox() = 0;

    virtual void SetPreviousPageEnabled(bool enabled) = 0;
    virtual void SetNextPageEnabled(bool enabled) = 0;
    virtual void SetFirstPageEnabled(bool enabled) = 0;
    virtual bool PreviousPageEnabled() const = 0;
    virtual bool NextPageEnabled() const = 0;
    virtual bool FirstPageEnabled() const = 0;

    // While a download the user waits for runs: the window shows it is busy and says so to
    // assistive technology if the wait lasts; Escape gives the wait up.
    virtual void SetBusy(bool busy) = 0;

    virtual void PopUpListMenu() = 0;
    virtual void OpenArticleWindow() = 0;
    virtual void CloseWindow() = 0;
    virtual void ShowWindow() = 0;
};

}  // namespace vennadar
