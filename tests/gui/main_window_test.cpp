// The real main window on the offscreen platform, against the sample site.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <QWindow>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>

#include "adapters/curl/curl_http.h"
#include "adapters/qt/qt_services.h"
#include "adapters/qt/qt_zoom.h"
#include "adapters/qt/start_up.h"
#include "core/commands/main_commands.h"
#include "core/commands/startup.h"
#include "core/reader/article_reader.h"
#include "core/settings/zoom.h"
#include "core/update/update_check.h"
#include "core/update/version_record.h"
#include "core/wait/wait.h"
#include "gui/article_window.h"
#include "packaging/application_icon.h"
#include "sample-site/sample_site.h"
#include "support/fakes.h"
#include "support/settle.h"
#include "support/test_support.h"
#include "support/zoom_check.h"

namespace vennadar {
namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new sample_site::SampleSite();
        ASSERT_TRUE(site_->Start());
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }

    void SetUp() override {
        services_.settings.site_base = site_->BaseUrl();
        window_ = std::make_unique<MainWindow>(*state_, services_);
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        MainWindowCreated(*state_, *window_, services_);
    }

    void TearDown() override {
        window_.reset();
        QApplication::processEvents();
    }

    template <typename T>
    T* Find(const char* name) const {
        return window_->findChild<T*>(QString::fromUtf8(name));
    }
    QTreeWidget* List() const { return Find<QTreeWidget>("超级列表框1"); }
    QLineEdit* SearchBox() const { return Find<QLineEdit>("超级编辑框1"); }
    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }

    void Settle() const { test::Settle(*state_); }
    void Press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(widget, key, modifiers);
        Settle();
    }

    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            rows << List()->topLevelItem(i)->text(0);
        }
        return rows;
    }

    static sample_site::SampleSite* site_;
    std::unique_ptr<AppState> state_ = InitializeGlobals();
    CurlHttp http_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    Services services_{http_, sounds_, dialogs_, desktop_, BuildSettings()};
    std::unique_ptr<MainWindow> window_;
};

sample_site::SampleSite* MainWindowTest::site_ = nullptr;

TEST_F(MainWindowTest, ControlsAreLaidOutAsDesigned) {
    struct Control {
        const char* name;
        QRect rect;
        bool visible;
        bool enabled;
        QString caption;
    };
    const Control controls[] = {
        {"标签2", {32, 260, 80, 24}, true, true, "项目(&x)"},
        {"分组框2", {32, 32, 600, 200}, false, true, "项目(&x)"},
        {"超级列表框1", {32, 32, 600, 200}, true, true, ""},
        {"标签1", {32, 492, 80, 24}, true, true, "关键字(&s)"},
        {"按钮4", {142, 314, 80, 32}, true, false, "回到首页(&h)"},
        {"按钮3", {502, 370, 80, 32}, true, true, "搜索(&q)"},
        {"分组框1", {32, 370, 400, 30}, false, true, "关键字(&s)"},
        {"超级编辑框1", {32, 370, 400, 30}, true, true, ""},
        {"按钮2", {360, 314, 80, 32}, true, false, "下一页(&n)"},
        {"按钮1", {32, 314, 80, 32}, true, false, "上一页(&u)"},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        const QWidget* widget = Find<QWidget>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), c.rect);
        EXPECT_EQ(widget->isVisible(), c.visible);
        EXPECT_EQ(widget->isEnabled(), c.enabled);
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            EXPECT_EQ(label->text(), c.caption);
        } else if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), c.caption);
        } else if (const auto* box = qobject_cast<const QGroupBox*>(widget)) {
            EXPECT_EQ(box->title(), c.caption);
        }
    }
    EXPECT_EQ(window_->windowTitle(), "Vennadar - ");
    EXPECT_EQ(window_->size(), QSize(640, 600));
    EXPECT_EQ(List()->headerItem()->text(0), "项目");
    EXPECT_EQ(List()->columnCount(), 1);

    // Tab order: list, search box, search, previous, first page, next.
    QStringList chain;
    QWidget* widget = List();
    for (int i = 0; i < 6; ++i) {
        chain << widget->objectName();
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || qobject_cast<QLabel*>(widget) != nullptr) {
            widget = widget->nextInFocusChain();
        }
    }
    EXPECT_EQ(chain,
              QStringList({"超级列表框1", "超级编辑框1", "按钮3", "按钮1", "按钮4", "按钮2"}));

    QStringList menus;
    for (QAction* action : window_->menuBar()->actions()) {
        menus << action->text();
    }
    EXPECT_EQ(menus, QStringList({"操作(&c)", "帮助(&b)"}));
    QStringList list_menu;
    for (QAction* action : window_->ListMenu()->actions()) {
        list_menu << action->text();
    }
    EXPECT_EQ(list_menu, QStringList({"返回分类列表(&退格键)", "用网页打开(&w)", "刷新(&f5)"}));
}

TEST_F(MainWindowTest, StartUpShowsCategoriesWithFirstCurrent) {
    EXPECT_EQ(Rows(), QStringList({"最新文章", "最新动态", "经典习题", "高考试题", "知识归纳",
                                   "教材相关", "课外知识", "文艺展示", "学习工具"}));
    EXPECT_EQ(window_->SelectedIndex(), 0);
    EXPECT_FALSE(Button("按钮1")->isEnabled());
    EXPECT_FALSE(Button("按钮2")->isEnabled());
    EXPECT_FALSE(Button("按钮4")->isEnabled());
    EXPECT_TRUE(Button("按钮3")->isEnabled());
}

TEST_F(MainWindowTest, AccessibleNamesAndWholeRowText) {
    EXPECT_EQ(List()->accessibleName(), "项目");
    EXPECT_EQ(SearchBox()->accessibleName(), "关键字");
    EXPECT_EQ(Button("按钮1")->accessibleName(), "上一页");
    EXPECT_EQ(Button("按钮2")->accessibleName(), "下一页");
    EXPECT_EQ(Button("按钮3")->accessibleName(), "搜索");
    EXPECT_EQ(Button("按钮4")->accessibleName(), "回到首页");

    Press(List(), Qt::Key_Return);  // the home listing
    ASSERT_EQ(List()->topLevelItemCount(), sample_site::kPageSize);
    const QString line = List()->topLevelItem(0)->text(0);
    EXPECT_TRUE(line.contains(":发表日期：")) << line.toStdString();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(List());
    ASSERT_NE(list, nullptr);
    // A mark is said after the row's text and shown beside it; the text stays the name.
    window_->SetRowMark(0, RowMark::kNew);
    window_->SetRowMark(0, RowMark::kRead);
    QAccessibleInterface* row = nullptr;
    for (int i = 0; i < list->childCount() && row == nullptr; ++i) {
        QAccessibleInterface* child = list->child(i);
        row = child != nullptr && child->text(QAccessible::Name) == line ? child : nullptr;
    }
    ASSERT_NE(row, nullptr) << "no accessible row reads " << line.toStdString();
    EXPECT_EQ(row->text(QAccessible::Description), "已读");
    EXPECT_EQ(List()->topLevelItem(0)->toolTip(0), "已读");
    EXPECT_FALSE(List()->topLevelItem(0)->icon(0).isNull());
    EXPECT_EQ(List()->topLevelItem(0)->text(0), line);
    window_->SetRowMark(0, RowMark::kNone);
    EXPECT_TRUE(List()->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(List()->topLevelItem(0)->toolTip(0).isEmpty());
}

// Against the real site: a revisit is answered 304 and shows the same rows; with the site
// answering 503 the kept listing is shown, the title and the focused list carry the notice.
TEST_F(MainWindowTest, KeptListingIsShownOfflineWhenTheSiteFails) {
    test::FakeStore store;
    services_.store = &store;
    Press(List(), Qt::Key_Return);  // the home listing, kept
    const QStringList rows = Rows();
    ASSERT_EQ(rows.size(), sample_site::kPageSize);
    Press(List(), Qt::Key_F5);
    EXPECT_EQ(Rows(), rows);
    EXPECT_FALSE(window_->windowTitle().contains("离线"));

    site_->SetUnavailable(true);
    Press(List(), Qt::Key_F5);
    site_->SetUnavailable(false);
    EXPECT_EQ(Rows(), rows);
    EXPECT_TRUE(window_->windowTitle().startsWith("Vennadar - ") &&
                window_->windowTitle().contains("（离线，"))
        << window_->windowTitle().toStdString();
    EXPECT_TRUE(List()->accessibleDescription().startsWith("离线，"));
    Press(List(), Qt::Key_F5);
    EXPECT_FALSE(window_->windowTitle().contains("离线"));
    services_.store = nullptr;
}

TEST_F(MainWindowTest, EnterActivatesOnlyWithoutModifiers) {
    Press(List(), Qt::Key_Return, Qt::ControlModifier);
    Press(List(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Rows().size(), 9);
    Press(List(), Qt::Key_Return);
    EXPECT_EQ(Rows().size(), sample_site::kPageSize);
    EXPECT_TRUE(Button("按钮2")->isEnabled());
    EXPECT_TRUE(List()->hasFocus());

    Press(Button("按钮2"), Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(state_->listing_query.page_number, 1);
    Press(Button("按钮2"), Qt::Key_Return);
    EXPECT_EQ(state_->listing_query.page_number, 2);
    EXPECT_TRUE(Button("按钮1")->isEnabled());
    Press(Button("按钮1"), Qt::Key_Enter);
    EXPECT_EQ(state_->listing_query.page_number, 1);

    Press(List(), Qt::Key_F5, Qt::ShiftModifier);
    Press(List(), Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_FALSE(state_->showing_categories);
    Press(List(), Qt::Key_Backspace);
    EXPECT_TRUE(state_->showing_categories);
    EXPECT_EQ(Rows().size(), 9);
}

TEST_F(MainWindowTest, SearchBoxEnterSearches) {
    SearchBox()->setText("定理");
    Press(SearchBox(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(state_->showing_categories);
    Press(SearchBox(), Qt::Key_Return);
    EXPECT_FALSE(state_->showing_categories);
    EXPECT_TRUE(state_->listing_query.search_flag);
    EXPECT_FALSE(Rows().isEmpty());
    EXPECT_TRUE(dialogs_.shown.empty());

    SearchBox()->setText("");
    Press(Button("按钮3"), Qt::Key_Return);
    ASSERT_EQ(dialogs_.shown.size(), 1U);
    EXPECT_EQ(dialogs_.shown[0].text, "搜索内容不能为空");
    EXPECT_TRUE(SearchBox()->hasFocus());
}

// A screen reader reads the menus by these names: captions without their access-key letters.
TEST_F(MainWindowTest, MenusAreSpokenWithoutAccessKeyLetters) {
    const auto spoken = [](QObject* object) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
        return accessible != nullptr ? accessible->text(QAccessible::Name) : QString("(none)");
    };
    QStringList names;
    for (QAction* title : window_->menuBar()->actions()) {
        names << spoken(title) << spoken(title->menu());
        for (QAction* item : title->menu()->actions()) {
            names << spoken(item);
        }
    }
    for (QAction* item : window_->ListMenu()->actions()) {
        names << spoken(item);
    }
    EXPECT_EQ(names.join('|'),
              "操作|操作|打开网站首页|清除阅读记录|退出|帮助|帮助|使用说明|升级日志|检查更新|"
              "加入官方群|关于网站|"
              "关于程序|捐助我们|返回分类列表|用网页打开|刷新");
}

TEST_F(MainWindowTest, AccessKeysMoveTheFocus) {
    QTest::keyClick(window_.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(SearchBox()->hasFocus());
    QTest::keyClick(window_.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(List()->hasFocus());
}

TEST_F(MainWindowTest, AnAltPressComingLateLeavesTheMenuOfItsChordOpen) {
    QTest::keyClick(window_.get(), Qt::Key_C, Qt::AltModifier);
    auto* menu = Find<QMenu>("OperationMenu");
    ASSERT_TRUE(menu->isVisible());
    // A screen reader hands the chord's Alt press back after the letter has opened the menu.
    QTest::keyPress(menu, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_TRUE(menu->isVisible());
    QTest::keyRelease(menu, Qt::Key_Alt);
    // Alt pressed on its own, once the chord is over, still closes it.
    QTest::qWait(500);
    QTest::keyClick(menu, Qt::Key_Alt);
    EXPECT_FALSE(menu->isVisible());
    menu->hide();
}

TEST_F(MainWindowTest, ContextMenuKeyOnlyOverAListingRow) {
    Press(List(), Qt::Key_Menu);
    EXPECT_FALSE(window_->ListMenu()->isVisible());
    Press(List(), Qt::Key_Return);
    Press(List(), Qt::Key_Menu, Qt::ShiftModifier);
    EXPECT_FALSE(window_->ListMenu()->isVisible());
    Press(List(), Qt::Key_Menu);
    EXPECT_TRUE(window_->ListMenu()->isVisible());
    const QTreeWidgetItem* current = List()->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(window_->ListMenu()->pos(),
              List()->viewport()->mapToGlobal(List()->visualItemRect(current).bottomLeft()));
    // Opened from the keyboard, it starts on its first item, which is spoken.
    EXPECT_EQ(window_->ListMenu()->activeAction(), window_->ListMenu()->actions().value(0));
    window_->ListMenu()->hide();
}

TEST_F(MainWindowTest, BothWindowsCarryTheProgramIcon) {
    SetApplicationIcon();
    const auto reset = qScopeGuard([] { QApplication::setWindowIcon(QIcon()); });
    Press(List(), Qt::Key_Return);  // the home listing
    Press(List(), Qt::Key_Return);  // its first article
    auto* article = window_->findChild<ArticleWindow*>();
    ASSERT_NE(article, nullptr);
    for (const QWidget* window :
         {static_cast<QWidget*>(window_.get()), static_cast<QWidget*>(article)}) {
        SCOPED_TRACE(window->objectName().toStdString());
        ASSERT_NE(window->windowHandle(), nullptr);
        const QIcon icon = window->windowHandle()->icon();
        EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
        EXPECT_FALSE(icon.pixmap(48).isNull());
    }
    article->close();
}

TEST_F(MainWindowTest, RightClickOpensTheMenuAtThePointer) {
    Press(List(), Qt::Key_Return);  // a listing, its first row current
    const QPoint at(300, 150);      // well away from the current row
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, List()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(List()->viewport(), &click);
    EXPECT_TRUE(window_->ListMenu()->isVisible());
    EXPECT_EQ(window_->ListMenu()->pos(), List()->viewport()->mapToGlobal(at));
    window_->ListMenu()->hide();
}

// A network that stops answering: the window goes on answering, says it is loading, ignores
// what would change the list, and Escape gives the wait up.
TEST_F(MainWindowTest, StalledDownloadNeverFreezesTheWindow) {
    Press(List(), Qt::Key_Return);  // the home listing
    const QStringList rows = Rows();
    site_->SetStalled(true);
    const auto release = qScopeGuard([] { site_->SetStalled(false); });
    sounds_.played.clear();
    QTest::keyClick(Button("按钮2"), Qt::Key_Return);
    ASSERT_TRUE(IsWaiting(*state_));

    bool turned = false;
    QTimer::singleShot(0, [&] { turned = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return turned; }, 5000));
    EXPECT_TRUE(IsWaiting(*state_));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return List()->accessibleDescription() == "正在加载…"; }, 5000));

    QTest::keyClick(List(), Qt::Key_F5);  // ignored, not queued
    QTest::keyClick(List(), Qt::Key_Backspace);
    QTest::keyClick(window_.get(), Qt::Key_S, Qt::AltModifier);  // moving around still works
    EXPECT_TRUE(SearchBox()->hasFocus());
    QTest::keyClicks(SearchBox(), "abc");
    EXPECT_EQ(SearchBox()->text(), "abc");

    QTest::keyClick(SearchBox(), Qt::Key_Escape);
    EXPECT_FALSE(IsWaiting(*state_));
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(state_->listing_query.page_number, 1);
    EXPECT_FALSE(Button("按钮1")->isEnabled());
    EXPECT_TRUE(List()->hasFocus());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(List()->accessibleDescription().isEmpty());
    EXPECT_TRUE(sounds_.played.empty());
    EXPECT_TRUE(dialogs_.shown.empty());

    QTest::keyClick(Button("按钮2"), Qt::Key_Return);
    ASSERT_TRUE(IsWaiting(*state_));
    window_->close();  // closing gives the wait up too
    EXPECT_FALSE(IsWaiting(*state_));
}

// The start-up check runs behind the window: the categories are there at once, the offer comes
// when the manifest does, and its answers do what they always did.
TEST_F(MainWindowTest, StartUpOfferArrivesAfterTheWindowIsShown) {
    for (const int answer : {kAnswerNo, kAnswerYes}) {
        SCOPED_TRACE(answer);
        site_->SetUpdateVersion("99.0");
        const auto restore = qScopeGuard([] { site_->SetUpdateVersion("1.0.0.8"); });
        const std::unique_ptr<AppState> state = InitializeGlobals();
        test::FakeDialogs dialogs;
        dialogs.answer = answer;
        Services services{http_, sounds_, dialogs, desktop_, BuildSettings()};
        services.settings.site_base = site_->BaseUrl();
        services.settings.update_manifest_url = site_->BaseUrl() + "/qmzt/update.xml";
        desktop_.started.clear();
        MainWindow window(*state, services);
        MainWindowCreated(*state, window, services);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.RowCount(), 9);
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogs.shown.empty(); }, 20000));
        ASSERT_EQ(dialogs.shown.size(), 1U);
        EXPECT_EQ(dialogs.shown[0].text, "发现新版本99.0，是否立即更新");
        EXPECT_EQ(window.isVisible(), answer == kAnswerNo);
        EXPECT_EQ(desktop_.started.size(), answer == kAnswerYes ? 1U : 0U);
    }
}

// The text size: every key and the wheel over the list, the ends, kept for the next run, and at
// 400 % every caption fits.
TEST_F(MainWindowTest, ZoomStepsTheTextSizeAndKeepsIt) {
    QTemporaryDir config;
    const std::string path = config.filePath("vennadar/settings.ini").toStdString();
    const QFont desktop = QApplication::font();
    {
        QtZoom zoom(path);
        services_.zoom = &zoom;
        EXPECT_EQ(zoom.Percent(), 100);
        List()->setFocus();
        test::ExpectZoomWalk(zoom, window_.get(), List());
        EXPECT_EQ(window_->size(), QSize(640, 600));
        zoom.SetPercent(400);
        QApplication::processEvents();
        EXPECT_GT(List()->width(), 600);
        test::ExpectCaptionsFit(window_.get());
        zoom.SetPercent(150);
        services_.zoom = nullptr;
    }
    QApplication::setFont(desktop);
    EXPECT_EQ(QtZoom(path).Percent(), 150);
    QApplication::setFont(desktop);
}

// What the settings file holds, read back: a size that is no step is the nearest one; anything
// unreadable is 100 %. Written only on a change, never on the first run.
TEST(ZoomSettingTest, ReadsTheNearestStepAndFallsBackTo100) {
    QTemporaryDir config;
    const struct {
        const char* name;
        const char* text;  // null: no file
        int percent;
    } cases[] = {
        {"first run", nullptr, 100},
        {"a step", "[view]\nzoom=175\n", 175},
        {"between steps", "[view]\nzoom=160\r\n", 150},
        {"beyond the top", "[view]\n zoom = 1000 \n", 400},
        {"negative", "[view]\nzoom=-5\n", 100},
        {"not a number", "[view]\nzoom=big\n", 100},
        {"outside its section", "zoom=200\n[other]\nzoom=250\n", 100},
        {"binary garbage", "\x01\xff[view\nzoom", 100},
    };
    const std::string path = config.filePath("settings.ini").toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(path.c_str());
        if (c.text != nullptr) {
            std::ofstream(path) << c.text;
        }
        EXPECT_EQ(ReadZoomSetting(path), c.percent);
    }
    // A folder where the file should be, and a folder that cannot be made.
    ASSERT_TRUE(QDir(config.path()).mkpath("taken/settings.ini"));
    EXPECT_EQ(ReadZoomSetting(config.filePath("taken/settings.ini").toStdString()), 100);
    EXPECT_FALSE(WriteZoomSetting(config.filePath("taken/settings.ini").toStdString(), 150));
    EXPECT_FALSE(WriteZoomSetting(path + "/below/a/file.ini", 150));

    const QFont desktop = QApplication::font();
    const std::string fresh = config.filePath("fresh/vennadar/settings.ini").toStdString();
    QtZoom zoom(fresh);
    zoom.SetPercent(100);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(fresh)));
    zoom.SetPercent(110);
    EXPECT_EQ(ReadZoomSetting(fresh), 110);
    QApplication::setFont(desktop);

    EXPECT_EQ(SettingsFilePath("/cfg", "/home/u"), "/cfg/vennadar/settings.ini");
    EXPECT_EQ(SettingsFilePath("", "/home/u"), "/home/u/.config/vennadar/settings.ini");
    EXPECT_EQ(SettingsFilePath("relative", "/home/u"), "/home/u/.config/vennadar/settings.ini");
    EXPECT_EQ(SettingsFilePath(nullptr, nullptr), "");
}

// Real message boxes: text, title and icon; the buttons in Qt's Chinese, each spoken by its
// caption without the key letter, or Qt's English when the translation is missing.
TEST(QtDialogsTest, ShowsTextTitleAndIcon) {
    QTemporaryDir empty;
    const QString installed = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const struct {
        const char* name;
        QString translations;
        int style;
        QMessageBox::Icon icon;
        QStringList captions;
        QStringList spoken;
        int on_enter;  // the answer of the default button
    } cases[] = {
        {"OK", installed, 0x30, QMessageBox::Warning, {"确定"}, {"确定"}, kAnswerOk},
        {"Yes and No",
         installed,
         kStyleYesNo | kStyleQuestionIcon,
         QMessageBox::Question,
         {"是(&Y)", "否(&N)"},
         {"是", "否"},
         kAnswerYes},
        {"No by default",
         installed,
         kStyleYesNo | kStyleQuestionIcon | kStyleDefaultSecond,
         QMessageBox::Question,
         {"是(&Y)", "否(&N)"},
         {"是", "否"},
         kAnswerNo},
        {"no translation", empty.path(), 0x40, QMessageBox::Information, {"OK"}, {"OK"}, kAnswerOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<QTranslator> translation = InstallQtTranslation(c.translations);
        EXPECT_EQ(translation != nullptr, c.translations == installed);
        QtDialogs dialogs;
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList captions;
        QStringList spoken;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                title = box->windowTitle();
                icon = box->icon();
                for (QAbstractButton* button : box->buttons()) {
                    captions << button->text();
                    spoken << button->accessibleName();
                }
                if (box->defaultButton() != nullptr) {
                    box->defaultButton()->click();  // Enter
                } else {
                    box->accept();
                }
            }
        });
        poll.start(10);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
        watchdog.start(5000);
        EXPECT_EQ(dialogs.ShowMessage(Utf8ToGbk("没有下一页了。"), Utf8ToGbk("提示"), c.style),
                  c.on_enter);
        EXPECT_EQ(text, "没有下一页了。");
        EXPECT_EQ(title, "提示");
        EXPECT_EQ(icon, c.icon);
        captions.sort();
        spoken.sort();
        QStringList expected_captions = c.captions;
        QStringList expected_spoken = c.spoken;
        expected_captions.sort();
        expected_spoken.sort();
        EXPECT_EQ(captions, expected_captions);
        EXPECT_EQ(spoken, expected_spoken);
    }
}

// The editor and the browser are started through xdg-open with the path or address as one
// argument, never through a shell; so is the updater, by its path. Fake programs record how they
// were started: their own path, then each argument, NUL-separated so that even a line feed in
// an argument shows.
bool WriteRecordingProgram(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(
        "#!/bin/sh\n"
        "printf '%s\\0' \"$0\" \"$#\" \"$@\" > \"$0.log.part\" && mv -f -- \"$0.log.part\" "
        "\"$0.log\"\n");
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// How the fake program at `program` was started last; empty when it was not (within 5 s).
std::optional<test::StartedProgram> WaitForStart(const QString& program) {
    QFile log(program + ".log");
    if (!QTest::qWaitFor([&] { return log.exists(); }, 5000) || !log.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QList<QByteArray> fields = log.readAll().split('\0');
    log.close();
    log.remove();
    // Program, count, the arguments, and the empty piece after the last terminator.
    if (fields.size() < 3 || fields.size() != fields[1].toInt() + 3) {
        return std::nullopt;
    }
    test::StartedProgram started{fields[0].toStdString(), {}};
    for (qsizetype i = 2; i + 1 < fields.size(); ++i) {
        started.args.push_back(fields[i].toStdString());
    }
    return started;
}

class FakeXdgOpen : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(WriteRecordingProgram(XdgOpen()));
        old_path_ = qgetenv("PATH");
        qputenv("PATH", dir_.path().toUtf8() + ":" + old_path_);
        // Anything a shell might run from the texts below would write its file here.
        old_current_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
    }
    void TearDown() override {
        QDir::setCurrent(old_current_);
        qputenv("PATH", old_path_);
    }

    QString XdgOpen() const { return dir_.filePath("xdg-open"); }
    std::vector<std::string> XdgOpenArguments() const {
        const std::optional<test::StartedProgram> started = WaitForStart(XdgOpen());
        return started ? started->args : std::vector<std::string>{"(not started)"};
    }
    // What a shell would have left behind. A command after the program's own would run once it
    // has recorded its start, so give it a moment.
    QStringList ShellLeftovers() const {
        QTest::qWait(300);
        return QDir(dir_.path()).entryList({"pwned*"}, QDir::Files);
    }

    QTemporaryDir dir_;
    QByteArray old_path_;
    QString old_current_;
};

// The real desktop, as if the program lived in `directory`.
class DesktopInFolder final : public Desktop {
  public:
    explicit DesktopInFolder(std::string directory) : directory_(std::move(directory)) {}
    void OpenUrl(const std::string& address) override { real_.OpenUrl(address); }
    bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
        return real_.StartProgram(program, args);
    }
    std::string ProgramDirectory() override { return directory_; }
    std::string ExecutablePath() override { return directory_ + "/vennadar"; }

  private:
    QtDesktop real_;
    std::string directory_;
};

// Folders a user may install the program in. Each would run a command if a shell read the path,
// bare, in single quotes or in double quotes.
struct HostileFolder {
    const char* name;
    const char* folder;
};
const HostileFolder kHostileFolders[] = {
    {"spaces", "My Programs/Vennadar 1.0"},
    {"semicolons", "a;touch pwned-semicolon;b"},
    {"command substitution", "$(touch pwned-dollar)"},
    {"backticks", "`touch pwned-backtick`"},
    {"quotes", "it's \"q\"; touch pwned-quote; ' \"; touch pwned-quote2; \""},
    {"ampersand", "a & touch pwned-ampersand &"},
    {"pipe", "a | touch pwned-pipe | b"},
    {"line feeds", "a\ntouch pwned-line-feed\n"},
    {"redirection and glob", "* > pwned-redirect "},
    {"variables", "$HOME ${IFS}x"},
};

TEST_F(FakeXdgOpen, EditorGetsThePathAsOneArgument) {
    QtDesktop desktop;
    test::FakeHttp http;
    test::FakeSounds sounds;
    test::FakeDialogs dialogs;
    Services services{http, sounds, dialogs, desktop, BuildSettings()};
    const std::string path =
        "/opt/my programs/help/help.txt; touch " + dir_.filePath("pwned").toStdString() + " $(id)";
    OpenInEditor(services, path);
    EXPECT_EQ(XdgOpenArguments(), std::vector<std::string>{path});
    EXPECT_EQ(ShellLeftovers(), QStringList());
}

TEST_F(FakeXdgOpen, UsageHelpFromAnyProgramFolderIsOneArgument) {
    for (const HostileFolder& c : kHostileFolders) {
        SCOPED_TRACE(c.name);
        const std::string directory = dir_.filePath("install/").toStdString() + c.folder;
        DesktopInFolder desktop(directory);
        test::FakeHttp http;
        test::FakeSounds sounds;
        test::FakeDialogs dialogs;
        Services services{http, sounds, dialogs, desktop, BuildSettings()};
        OpenUsageHelp(services);
        EXPECT_EQ(XdgOpenArguments(), std::vector<std::string>{directory + "/help/help.txt"});
    }
    EXPECT_EQ(ShellLeftovers(), QStringList());
}

TEST_F(FakeXdgOpen, UpdaterInAnyProgramFolderIsStartedByItsPathAlone) {
    for (const HostileFolder& c : kHostileFolders) {
        SCOPED_TRACE(c.name);
        const std::string directory = dir_.filePath("install/").toStdString() + c.folder;
        const QString updater = QString::fromStdString(directory + "/更新程序");
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(directory)));
        ASSERT_TRUE(WriteRecordingProgram(updater));
        DesktopInFolder desktop(directory);
        test::FakeHttp http;
        test::FakeSounds sounds;
        test::FakeDialogs dialogs;
        dialogs.answer = kAnswerYes;
        Services services{http, sounds, dialogs, desktop, BuildSettings()};
        services.settings.update_check = false;
        const std::unique_ptr<AppState> state = InitializeGlobals();
        state->version_record[kFileVersion] = "1.0.0.8";
        state->remote_version = "1.0.0.9";
        test::FakeMainView view;

        UpdateCheck(*state, view, services);
        EXPECT_TRUE(view.closed);
        const std::optional<test::StartedProgram> started = WaitForStart(updater);
        ASSERT_TRUE(started.has_value());
        EXPECT_EQ(started->program, updater.toStdString());
        EXPECT_TRUE(started->args.empty());
        EXPECT_EQ(dialogs.shown.size(), 1U);  // the offer, and no failure to start
    }
    EXPECT_EQ(ShellLeftovers(), QStringList());
}

TEST_F(FakeXdgOpen, ArticleLinksReachTheBrowserAsOneArgument) {
    struct Link {
        const char* name;
        const char* href;    // as the page writes it
        const char* opened;  // what the browser is given
    };
    const Link links[] = {
        {"spaces and semicolons", "http://127.0.0.1:8780/a b;touch pwned-l-semicolon",
         "http://127.0.0.1:8780/a b;touch pwned-l-semicolon"},
        {"command substitution", "http://127.0.0.1:8780/$(touch pwned-l-dollar)",
         "http://127.0.0.1:8780/$(touch pwned-l-dollar)"},
        {"backticks", "https://127.0.0.1/`touch pwned-l-backtick`",
         "https://127.0.0.1/`touch pwned-l-backtick`"},
        {"quotes and ampersands by reference",
         "http://127.0.0.1:8780/q?a=&quot;x&quot;&amp;b='y'&amp;touch pwned-l-ampersand",
         "http://127.0.0.1:8780/q?a=\"x\"&b='y'&touch pwned-l-ampersand"},
        {"pipe and redirection", "http://127.0.0.1:8780/x|touch pwned-l-pipe>pwned-l-redirect",
         "http://127.0.0.1:8780/x|touch pwned-l-pipe>pwned-l-redirect"},
        {"line feed by reference", "http://127.0.0.1:8780/a&#10;touch pwned-l-line-feed",
         "http://127.0.0.1:8780/a\ntouch pwned-l-line-feed"},
        {"mail address", "mailto:reader@example.org?subject=$(touch pwned-l-mail)",
         "mailto:reader@example.org?subject=$(touch pwned-l-mail)"},
        {"relative", "../a b/$(touch pwned-l-relative);`x`",
         "http://127.0.0.1:8780/a%20b/$(touch%20pwned-l-relative);`x`"},
    };
    std::string body;
    for (const Link& link : links) {
        body += std::string("    <p><a href=\"") + link.href + "\">" + link.name + "</a></p>\n";
    }
    const std::unique_ptr<AppState> state = InitializeGlobals();
    state->article_handoff.title = Utf8ToGbk("链接");
    state->article_handoff.link = "http://127.0.0.1:8780/archives/12.html";
    state->article_handoff.page_text = Utf8ToGbk(
        "<html><body>\n<center><h1>链接</h1>\n<div>正文：</div></center>\n"
        "   <article id=\"post_content\">\n    <p>Links:</p>\n" +
        body + "       </article>\n</body></html>\n");
    QtDesktop desktop;
    test::FakeHttp http;
    test::FakeSounds sounds;
    test::FakeDialogs dialogs;
    Services services{http, sounds, dialogs, desktop, BuildSettings()};
    QPointer<ArticleWindow> window = new ArticleWindow(*state, services);
    const auto discard = qScopeGuard([&] { delete window.data(); });
    window->show();
    ShowArticle(*state, *window, services);
    auto* list = window->findChild<QTreeWidget*>("超级列表框1");
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(std::size(links)));

    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const Link& link = links[static_cast<std::size_t>(i)];
        SCOPED_TRACE(link.name);
        window->SetSelectedLink(i);
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(XdgOpenArguments(), std::vector<std::string>{link.opened});
    }
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 2000));
    EXPECT_EQ(ShellLeftovers(), QStringList());
}

TEST_F(FakeXdgOpen, ListingLinkBeyondAsciiReachesTheBrowserAsUtf8) {
    QtDesktop desktop;
    test::FakeHttp http;
    test::FakeSounds sounds;
    test::FakeDialogs dialogs;
    Services services{http, sounds, dialogs, desktop, BuildSettings()};
    const std::unique_ptr<AppState> state = InitializeGlobals();
    state->listing_address = "http://127.0.0.1:8780/category/wyzs/page/1";
    state->current_rows = {
        {Utf8ToGbk("http://127.0.0.1:8780/archives/诗歌朗诵.html"), "T", "2020-01-01", "1"}};
    test::FakeMainView view;
    view.selected = 0;
    OpenSelectedArticleInBrowser(*state, view, services);
    EXPECT_EQ(XdgOpenArguments(),
              std::vector<std::string>{
                  "http://127.0.0.1:8780/archives/%E8%AF%97%E6%AD%8C%E6%9C%97%E8%AF%B5.html"});
}

TEST_F(FakeXdgOpen, BrowserGetsTheAddress) {
    QtDesktop desktop;
    desktop.OpenUrl("http://127.0.0.1:8780/archives/12.html");
    EXPECT_EQ(XdgOpenArguments(),
              std::vector<std::string>{"http://127.0.0.1:8780/archives/12.html"});
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
