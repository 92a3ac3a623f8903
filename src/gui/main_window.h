#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <memory>
#include <optional>

#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QShortcut;
class QTimer;
class QTreeWidget;

namespace vennadar {

class Notice;
class ScaledClient;

// The article-list window: one list, three paging buttons, the search box and its button, the
// menu bar and the list's pop-up menu. It forwards every event to the operations.
class MainWindow final : public QMainWindow, public MainView {
    Q_OBJECT

  public:
    MainWindow(AppState& state, Services& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // MainView
    Text Title() const override;
    void SetTitle(const Text& title) override;
    void ClearList() override;
    void AppendRow(const Text& text) override;
    int RowCount() const override;
    Text RowText(int index) const override;
    int SelectedIndex() const override;
    void SetSelectedIndex(int index) override;
    void FocusList() override;
    void SetRowMark(int index, RowMark mark) override;
    void Announce(const Text& notice) override;
    Text SearchText() const override;
    void FocusSearchBox() override;
    void SetPreviousPageEnabled(bool enabled) override;
    void SetNextPageEnabled(bool enabled) override;
    void SetFirstPageEnabled(bool enabled) override;
    bool PreviousPageEnabled() const override;
    bool NextPageEnabled() const override;
    bool FirstPageEnabled() const override;
    void SetBusy(bool busy) override;
    void PopUpListMenu() override;
    void OpenArticleWindow() override;
    void CloseWindow() override;
    void ShowWindow() override;

    QMenu* ListMenu() const { return list_menu_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void BuildMenus();
    void RunButton(QPushButton* button);
    void ShowLoadingNotice();

    AppState& state_;
    Services& services_;

    QTreeWidget* list_ = nullptr;
    QLineEdit* search_box_ = nullptr;
    QPushButton* previous_button_ = nullptr;
    QPushButton* next_button_ = nullptr;
    QPushButton* search_button_ = nullptr;
    QPushButton* first_page_button_ = nullptr;
    QMenu* list_menu_ = nullptr;
    QShortcut* give_up_ = nullptr;
    QTimer* loading_notice_ = nullptr;
    bool busy_ = false;
    std::optional<QPoint> list_menu_at_;  // the pointer, while a right click asks for the menu
    std::unique_ptr<Notice> notice_;      // the loading notice and the text size, said once
    ScaledClient* client_area_ = nullptr;
};

}  // namespace vennadar
