"""The steps of the screen-reader test: what the user presses and what Orca must say.

Each step's `hear` patterns must match utterances in that order; no utterance may match a
`not_hear` pattern. The sample site's listings are fixed, so the rows are named where it matters.
"""

import signal

import orca_transcript as harness

ROW = r":发表日期：\d{4}-\d{2}-\d{2}:点击：\d+"
# What is left of a caption's access key when it is read out: "操作(c)", "退出x", "是(Y)", "&".
# (A digit after Chinese text is a version number, "你使用的1.0.0.8".)
KEY_LETTER = [r"\([A-Za-z0-9]+\)", r"&", r"[\u4e00-\u9fff][A-Za-z]\b"]
MENU_BAR = r"^(操作|帮助)\b"
BUTTON_OK = r"^确定"
BUTTON_YES = r"^是"
BOX_CLOSED_SECONDS = 1.0


class Step:
    def __init__(self, name, action, hear=(), not_hear=(), seconds=None, exits=False,
                 closes_box=False, x11_only=None, wayland_hear=None):
        self.name = name
        # Under --wayland: why the step cannot be run there (it is skipped), or what is heard
        # there instead of `hear`.
        self.x11_only = x11_only
        self.wayland_hear = None if wayland_hear is None else list(wayland_hear)
        self.exits = exits  # the step ends the program
        self.action = action
        self.hear = list(hear)
        self.not_hear = list(not_hear)
        self.seconds = seconds or harness.STEP_SECONDS
        # After a message box closes, the next key comes at a person's pace, not at once.
        self.quiet = BOX_CLOSED_SECONDS if closes_box else harness.QUIET_SECONDS


def keys(*names):
    return lambda session: harness.key(*names)


def typed(text):
    return lambda session: harness.type_text(text)


def stalled(*names):
    def act(session):
        session.stall_site(True)
        harness.key(*names)
    return act


def resumed(*names):
    def act(session):
        harness.key(*names)
        session.stall_site(False)
    return act


def site_down(*names):
    def act(session):
        session.stop_site()
        harness.key(*names)
    return act


def site_back(*names):
    def act(session):
        harness.key(*names)
        session.start_site()
    return act


def site_unavailable(*names):
    """The site answers every request 503 from now on."""
    def act(session):
        session.site.send_signal(signal.SIGUSR1)
        harness.key(*names)
    return act


def restart_publishing(session):
    session.stop_site()
    session.start_site("--publish", "2")
    session.start_reader()


def restart_offering_update(session):
    session.stop_site()
    session.start_site("--update-version", "9.9.9.9")
    session.start_reader()


def steps(session):
    s = Step
    return [
        s("start-up", lambda session: session.start_reader(),
          [r"^Vennadar - ", r"^项目", r"^最新文章"], seconds=30),
        s("Down in the categories", keys("Down"), [r"^最新动态"]),
        s("Up in the categories", keys("Up"), [r"^最新文章"]),
        # The text size: each of the three keys for a step up says the new size.
        s("larger text", keys("ctrl+plus", "ctrl+equal", "ctrl+KP_Add"),
          [r"字号 110%", r"字号 125%", r"字号 150%"]),
        s("back to 100 %", keys("ctrl+0"), [r"字号 100%"]),
        # Round the window with the paging buttons disabled: list, search box, search button.
        s("Tab to the search box", keys("Tab"), [r"^关键字"]),
        s("Tab to 搜索", keys("Tab"), [r"^搜索"]),
        s("Tab back to the list", keys("Tab"), [r"^项目", r"^最新文章"]),
        s("Shift+Tab to 搜索", keys("shift+Tab"), [r"^搜索"]),
        s("Shift+Tab to the search box", keys("shift+Tab"), [r"^关键字"]),
        s("Shift+Tab to the list", keys("shift+Tab"), [r"^项目", r"^最新文章"]),
        s("open 最新文章", keys("Return"), [ROW]),
        s("下一页 by Alt+N", keys("alt+n"), [ROW], [MENU_BAR]),
        # Page 2 enables every button: the round now names all six controls.
        s("Tab: search box", keys("Tab"), [r"^关键字"]),
        s("Tab: 搜索", keys("Tab"), [r"^搜索"]),
        s("Tab: 上一页", keys("Tab"), [r"^上一页"]),
        s("Tab: 回到首页", keys("Tab"), [r"^回到首页"]),
        s("Tab: 下一页", keys("Tab"), [r"^下一页"]),
        s("Enter on 下一页", keys("Return"), [ROW]),
        s("上一页 by Alt+U", keys("alt+u"), [ROW], [MENU_BAR]),
        s("Tab to the buttons", keys("Tab", "Tab", "Tab", "Tab"), [r"^回到首页"]),
        s("Enter on 回到首页", keys("Return"), [ROW]),
        s("Backspace", keys("BackSpace"), [r"^最新文章"], [ROW]),
        s("open 最新动态", keys("Down", "Return"), [ROW]),
        s("下一页 on the last page", keys("alt+n"), [r"提示", r"没有下一页了。", BUTTON_OK],
          KEY_LETTER),
        s("close the message", keys("Return"), [ROW], closes_box=True),
        # Right after a box, at a person's pace: the menu opens and stays open.
        s("the 操作 menu after the message", keys("alt+c"), [r"^操作", r"^打开网站首页"],
          KEY_LETTER),
        s("close that menu", keys("Escape", "Escape"), [ROW]),
        s("stalled 下一页 is announced", stalled("Down", "Down", "alt+n"), [r"正在加载"], seconds=5),
        s("Escape gives the wait up", resumed("Escape"), [r"感谢读者来信" + ROW]),
        s("the list's menu", keys("Menu"), [r"^返回分类列表"], KEY_LETTER),
        s("its second item", keys("Down"), [r"^用网页打开"], KEY_LETTER),
        s("its third item", keys("Down"), [r"^刷新"], KEY_LETTER),
        s("close the list's menu", keys("Escape"), [r"感谢读者来信" + ROW]),
        s("open an article", keys("Return"),
          [r"感谢读者来信", r"最近我们收到了不少读者来信"], [ROW]),
        s("read on", keys("Down", "Down", "Down"), [r"一位读者写道"]),
        s("Tab to the links", keys("Tab"), [r"^链接", r"读者来信选登"]),
        s("the link menu", keys("Menu"), [r"^复制链接"], KEY_LETTER),
        s("close the link menu", keys("Escape"), [], KEY_LETTER),
        s("Shift+Tab to the body", keys("shift+Tab"), [r"^正文"]),
        # Opened once, the row is read from then on: its mark follows its text.
        s("close the article", keys("Return"), [r"感谢读者来信" + ROW, r"^已读"]),
        s("an article with audio asks first", keys("Down", "Down", "Return"),
          [r"提示", r"这篇文章含有音乐，是否播放", BUTTON_YES], KEY_LETTER),
        s("no audio: the article", keys("Escape"), [r"^正文", r"应不少读者的要求"]),
        # Qt's own save dialog, in Chinese, its controls named without key letters.
        s("save as", keys("ctrl+s"), [r"新增音频朗读功能\.txt"], KEY_LETTER),
        s("into a missing folder", lambda session: (
            harness.key("ctrl+a"), harness.type_text("/no-such-folder/x.txt"),
            harness.key("Return")), [r"提示", r"保存失败", BUTTON_OK], KEY_LETTER),
        s("close the save message", keys("Return"), [r"^正文"], closes_box=True),
        s("close the audio article", keys("Return"), [r"新增音频朗读功能" + ROW]),
        s("F5 reloads the page", keys("F5"), [ROW]),
        s("an article that cannot be fetched", site_down("Return"),
          [r"提示", r"获取正文失败", BUTTON_OK], KEY_LETTER),
        s("close that message", site_back("Return"), [r"^正文"], closes_box=True),
        s("close the empty article", keys("Return"), [ROW]),
        s("Alt+S to the search box", keys("alt+s"), [r"^关键字"], [MENU_BAR]),
        s("a search with results", lambda session: (harness.type_text("x"),
                                                     harness.key("Return")), [ROW]),
        s("Alt+S again", keys("alt+s"), [r"^关键字"], [MENU_BAR]),
        s("a search without results",
          lambda session: (harness.type_text("zzqq"), harness.key("Return")),
          [r"提示", r"没有搜索到内容，不如换个关键词试试", BUTTON_OK], KEY_LETTER),
        s("close that message: the empty list", keys("Return"), [r"^项目"], [ROW], closes_box=True),
        s("an empty keyword",
          keys("alt+s", "ctrl+a", "BackSpace", "Return"), [r"提示", r"搜索内容不能为空", BUTTON_OK],
          KEY_LETTER),
        s("close the empty-keyword message", keys("Return"), [r"^关键字"], closes_box=True),
        s("Alt+X to the empty list", keys("alt+x"), [r"^项目"], [MENU_BAR, ROW]),
        s("Backspace to the categories", keys("BackSpace"), [r"^最新动态"], [MENU_BAR]),
        s("Alt+S once more", keys("alt+s"), [r"^关键字"], [MENU_BAR]),
        s("Alt+X once more", keys("alt+x"), [r"^最新动态"], [MENU_BAR]),
        # Alt+letter opens a menu on its first item: its title, then the item.
        s("the 操作 menu", keys("alt+c"), [r"^操作", r"^打开网站首页"], KEY_LETTER),
        s("清除阅读记录 in it", keys("Down"), [r"^清除阅读记录"], KEY_LETTER),
        s("退出 below it", keys("Down"), [r"^退出"], KEY_LETTER),
        s("on to the 帮助 menu", keys("Right"), [r"^帮助", r"^使用说明"], KEY_LETTER),
        s("close the menus", keys("Escape"), [], KEY_LETTER),
        s("back in the list", keys("alt+x"), [r"^最新动态"], [MENU_BAR]),
        s("Alt alone: the menu bar", keys("alt"), [r"^操作"], KEY_LETTER),
        s("Alt again: back in the list", keys("alt"), [r"^最新动态"], KEY_LETTER),
        s("the 帮助 menu", keys("alt+b"), [r"^帮助", r"^使用说明"], KEY_LETTER),
        s("round to its last item", keys("Up"), [r"^捐助我们"], KEY_LETTER),
        s("up to 关于程序", keys("Up"), [r"^关于程序"], KEY_LETTER),
        s("the About box", keys("Return"), [r"关于,", r"程序版本", BUTTON_OK], KEY_LETTER),
        s("close the About box", keys("Return"), [r"^最新动态"], closes_box=True),
        s("检查更新 with nothing newer", keys("alt+b", "Down", "Down", "Return"),
          [r"提示", r"你使用的1\.0\.0\.8是最新版", BUTTON_OK], KEY_LETTER),
        s("close that message", keys("Return"), [r"^最新动态"], closes_box=True),
    ] + (update_offer() if session.tls else []) + remembering()


def update_offer():
    s = Step
    return [
        s("退出 ends the program", keys("alt+c", "Up", "Return"), exits=True),
        s("an update offered at start-up", restart_offering_update,
          [r"发现新版本9\.9\.9\.9，是否立即更新", BUTTON_YES], KEY_LETTER, seconds=30),
        s("declining it: the list", keys("Escape"), [r"^最新文章"]),
    ]


def remembering():
    """The next run remembers what was read and listed, and shows kept pages offline."""
    s = Step
    return [
        s("退出 to start again", keys("alt+c", "Up", "Return"), exits=True),
        s("a restart with two new articles", restart_publishing,
          [r"^Vennadar - ", r"^项目", r"^最新文章"], seconds=30),
        s("a listing seen before: its new rows say so", keys("Return"), [ROW, r"^新"]),
        s("the site answers 503: F5 shows the kept listing", site_unavailable("F5"),
          [r"离线，\d\d-\d\d \d\d:\d\d"]),
        s("back to the categories", keys("BackSpace"), [r"^最新文章"]),
        # The notice and the row the list lands on come together, in no fixed order.
        s("a kept category offline", keys("Down", "Return"), [r"离线，"]),
        s("the read row again", keys("Down", "Down"), [r"感谢读者来信" + ROW, r"^已读"]),
        s("the site stopped: the kept article", site_down("Return"),
          [r"感谢读者来信", r"离线，"]),
        s("close the kept article", keys("Return"), [r"感谢读者来信" + ROW]),
    ]
