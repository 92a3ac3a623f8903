// The real main window on the offscreen platform, against the sample site.
#include "main_window/main_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/main_commands.h"
#include "app/startup.h"
#include "fakes.h"
#include "main_window/qt_services.h"
#include "platform/curl_http.h"
#include "sample-site/sample_site.h"
#include "test_support.h"

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

    QTest::keyClick(List(), Qt::Key_Return);  // the home listing
    ASSERT_EQ(List()->topLevelItemCount(), sample_site::kPageSize);
    const QString line = List()->topLevelItem(0)->text(0);
    EXPECT_TRUE(line.contains(":发表日期：")) << line.toStdString();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(List());
    ASSERT_NE(list, nullptr);
    bool found = false;
    for (int i = 0; i < list->childCount() && !found; ++i) {
        QAccessibleInterface* child = list->child(i);
        found = child != nullptr && child->text(QAccessible::Name) == line;
    }
    EXPECT_TRUE(found) << "no accessible row reads " << line.toStdString();
}

TEST_F(MainWindowTest, EnterActivatesOnlyWithoutModifiers) {
    QTest::keyClick(List(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(List(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Rows().size(), 9);
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(Rows().size(), sample_site::kPageSize);
    EXPECT_TRUE(Button("按钮2")->isEnabled());
    EXPECT_TRUE(List()->hasFocus());

    QTest::keyClick(Button("按钮2"), Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(state_->listing_query.page_number, 1);
    QTest::keyClick(Button("按钮2"), Qt::Key_Return);
    EXPECT_EQ(state_->listing_query.page_number, 2);
    EXPECT_TRUE(Button("按钮1")->isEnabled());
    QTest::keyClick(Button("按钮1"), Qt::Key_Enter);
    EXPECT_EQ(state_->listing_query.page_number, 1);

    QTest::keyClick(List(), Qt::Key_F5, Qt::ShiftModifier);
    QTest::keyClick(List(), Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_FALSE(state_->showing_categories);
    QTest::keyClick(List(), Qt::Key_Backspace);
    EXPECT_TRUE(state_->showing_categories);
    EXPECT_EQ(Rows().size(), 9);
}

TEST_F(MainWindowTest, SearchBoxEnterSearches) {
    SearchBox()->setText("定理");
    QTest::keyClick(SearchBox(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(state_->showing_categories);
    QTest::keyClick(SearchBox(), Qt::Key_Return);
    EXPECT_FALSE(state_->showing_categories);
    EXPECT_TRUE(state_->listing_query.search_flag);
    EXPECT_FALSE(Rows().isEmpty());
    EXPECT_TRUE(dialogs_.shown.empty());

    SearchBox()->setText("");
    QTest::keyClick(Button("按钮3"), Qt::Key_Return);
    ASSERT_EQ(dialogs_.shown.size(), 1U);
    EXPECT_EQ(dialogs_.shown[0].text, "搜索内容不能为空");
    EXPECT_TRUE(SearchBox()->hasFocus());
}

TEST_F(MainWindowTest, AccessKeysMoveTheFocus) {
    QTest::keyClick(window_.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(SearchBox()->hasFocus());
    QTest::keyClick(window_.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(List()->hasFocus());
}

TEST_F(MainWindowTest, ContextMenuKeyOnlyOverAListingRow) {
    QTest::keyClick(List(), Qt::Key_Menu);
    EXPECT_FALSE(window_->ListMenu()->isVisible());
    QTest::keyClick(List(), Qt::Key_Return);
    QTest::keyClick(List(), Qt::Key_Menu, Qt::ShiftModifier);
    EXPECT_FALSE(window_->ListMenu()->isVisible());
    QTest::keyClick(List(), Qt::Key_Menu);
    EXPECT_TRUE(window_->ListMenu()->isVisible());
    window_->ListMenu()->hide();
}

// One real message box: its text, title, icon and button.
TEST(QtDialogsTest, ShowsTextTitleAndIcon) {
    QtDialogs dialogs;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            box->accept();
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
    const int answer = dialogs.ShowMessage(Utf8ToGbk("没有下一页了。"), Utf8ToGbk("提示"), 0x30);
    EXPECT_EQ(answer, kAnswerOk);
    EXPECT_EQ(text, "没有下一页了。");
    EXPECT_EQ(title, "提示");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, 1);
}

// The editor and the browser are started through xdg-open with the path or address as one
// argument, never through a shell. A fake xdg-open on PATH records what it was given.
class FakeXdgOpen : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QString script = dir_.filePath("xdg-open");
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$0.log\"; done\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        old_path_ = qgetenv("PATH");
        qputenv("PATH", dir_.path().toUtf8() + ":" + old_path_);
    }
    void TearDown() override { qputenv("PATH", old_path_); }

    QStringList Recorded() const {
        QFile log(dir_.filePath("xdg-open.log"));
        if (!QTest::qWaitFor([&] { return log.exists(); }, 5000) ||
            !log.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir_;
    QByteArray old_path_;
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
    EXPECT_EQ(Recorded(), QStringList({QString::fromStdString(path)}));
    EXPECT_FALSE(QFile::exists(dir_.filePath("pwned")));
}

TEST_F(FakeXdgOpen, BrowserGetsTheAddress) {
    QtDesktop desktop;
    desktop.OpenUrl("http://127.0.0.1:8780/archives/12.html");
    EXPECT_EQ(Recorded(), QStringList({"http://127.0.0.1:8780/archives/12.html"}));
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
