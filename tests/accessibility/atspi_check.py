#!/usr/bin/python3
"""Drives the running reader the way a screen reader does, over AT-SPI.

Expects one Vennadar process on the session's accessibility bus, browsing the sample site, and
xdotool on the same display. Exits 0 when every check passes; otherwise prints each failure and
exits 1. Gives up after OVERALL_SECONDS whatever happens.
"""

import re
import signal
import subprocess
import sys
import time

import pyatspi

OVERALL_SECONDS = 60
FIND_SECONDS = 20
LOAD_SECONDS = 15

CATEGORIES = ["最新文章", "最新动态", "经典习题", "高考试题", "知识归纳",
              "教材相关", "课外知识", "文艺展示", "学习工具"]
LISTING_ROW = re.compile(r"^.+:发表日期：\d{4}-\d{2}-\d{2}:点击：\d+$")
ACTIVATE_ACTIONS = {"activate", "press", "click", "doubleclick", "double click"}

failures = []


class Abort(Exception):
    pass


def fail(message):
    failures.append(message)
    print("FAIL: " + message, flush=True)


def check(condition, message):
    if not condition:
        fail(message)
    return condition


def give_up(_signum, _frame):
    print(f"FAIL: no result within {OVERALL_SECONDS} s", flush=True)
    sys.exit(1)


def poll(probe, seconds, interval=0.2):
    """probe() until it returns something truthy; the last value (or None) after `seconds`.
    Objects vanish while the list refills, so errors from the bus count as "not yet"."""
    deadline = time.monotonic() + seconds
    value = None
    while True:
        try:
            value = probe()
        except Exception:  # noqa: BLE001 - stale accessible objects during a reload
            value = None
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def has_state(accessible, state):
    return accessible.getState().contains(state)


def enabled(accessible):
    return has_state(accessible, pyatspi.STATE_ENABLED) and has_state(
        accessible, pyatspi.STATE_SENSITIVE)


def action_names(accessible):
    try:
        action = accessible.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def do_action(accessible, wanted):
    """Runs the first action whose lower-cased name is in `wanted`; its name, or None."""
    try:
        action = accessible.queryAction()
    except NotImplementedError:
        return None
    for i in range(action.nActions):
        name = action.getName(i)
        if name.lower() in wanted:
            action.doAction(i)
            return name
    return None


def xdotool(*args):
    try:
        result = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=10,
                                check=False)
    except subprocess.TimeoutExpired:
        return None
    return result.stdout.rstrip("\n") if result.returncode == 0 else None


def find_reader():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and (app.name or "").lower() == "vennadar":
            return app
    return None


def find_frame(app):
    for i in range(app.childCount):
        child = app.getChildAtIndex(i)
        if child.getRole() == pyatspi.ROLE_FRAME:
            return child
    return None


def descendant(root, role, name):
    return pyatspi.findDescendant(root, lambda a: a.getRole() == role and a.name == name)


def row_names(tree):
    table = tree.queryTable()
    return [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]


def listing_rows(tree, unlike=None):
    """The list's rows once it holds a listing page (other than `unlike`), else None."""
    rows = row_names(tree)
    if not rows or rows == unlike or not all(LISTING_ROW.match(row) for row in rows):
        return None
    # The row count and each row's name are separate calls; a page that arrives between them
    # gives a mixed read. Two reads alike are one page.
    return rows if row_names(tree) == rows else None


def check_buttons(buttons, expected, when):
    for name, want in expected.items():
        got = poll(lambda b=buttons[name]: enabled(b) == want, LOAD_SECONDS)
        check(got, f"{when}: button {name} should be {'enabled' if want else 'disabled'}")


def window_title(pid):
    ids = (xdotool("search", "--pid", str(pid)) or "").split()
    titles = [xdotool("getwindowname", wid) for wid in ids]
    titles = [t for t in titles if t and t.startswith("Vennadar")]
    return (ids[0] if ids else None), (titles[0] if titles else None)


def check_start(frame, tree, buttons, title):
    check(title is not None and title.startswith("Vennadar - "),
          f"window title should start with 'Vennadar - ', is {title!r}")
    check(frame.name == title,
          f"frame name {frame.name!r} should be the window title {title!r}")

    rows = poll(lambda: row_names(tree) == CATEGORIES and row_names(tree), FIND_SECONDS)
    check(rows, f"list should show the nine categories, shows {row_names(tree)}")
    first = tree.queryTable().getAccessibleAt(0, 0)
    check(has_state(first, pyatspi.STATE_SELECTED), "row 0 should be selected at start")

    check_buttons(buttons, {"上一页": False, "下一页": False, "回到首页": False, "搜索": True},
                  "at start")
    for name in ("上一页", "下一页", "回到首页"):
        check(not action_names(buttons[name]), f"disabled {name} should offer no action")
    check("Press" in action_names(buttons["搜索"]), "搜索 should offer Press")


def open_first_category(tree, frame, window_id):
    """Activates row 0: through a row action when the list offers one, else with Return."""
    row = tree.queryTable().getAccessibleAt(0, 0)
    used = do_action(row, ACTIVATE_ACTIONS)
    if used:
        print(f"activated row 0 with its {used!r} action", flush=True)
        return
    print(f"row 0 offers {action_names(row)}; pressing Return in the list", flush=True)
    tree.queryComponent().grabFocus()
    if window_id is None:
        raise Abort("no X window to send Return to")
    xdotool("windowfocus", "--sync", window_id)
    ready = poll(lambda: has_state(frame, pyatspi.STATE_ACTIVE)
                 and has_state(tree, pyatspi.STATE_FOCUSED), LOAD_SECONDS)
    if not ready:
        raise Abort("the list never got the keyboard focus")
    xdotool("key", "Return")


def check_paging(tree, buttons, first_page):
    check(do_action(buttons["下一页"], {"press"}), "下一页 should offer Press")
    second_page = poll(lambda: listing_rows(tree, unlike=first_page), LOAD_SECONDS)
    if not check(second_page, f"下一页 should load page 2, list shows {row_names(tree)[:2]}"):
        return
    check_buttons(buttons, {"上一页": True, "回到首页": True, "下一页": True}, "on page 2")
    print(f"page 2 through 下一页's Press: {len(second_page)} rows", flush=True)

    if not check(do_action(buttons["回到首页"], {"press"}), "回到首页 should offer Press"):
        return
    again = poll(lambda: listing_rows(tree) == first_page, LOAD_SECONDS)
    check(again, f"回到首页 should show page 1 again, list shows {row_names(tree)[:2]}")
    check_buttons(buttons, {"上一页": False, "回到首页": False, "下一页": True}, "back on page 1")


def run():
    app = poll(find_reader, FIND_SECONDS)
    if app is None:
        raise Abort(f"no 'vennadar' application on the AT-SPI bus after {FIND_SECONDS} s")
    frame = poll(lambda: find_frame(app), FIND_SECONDS)
    if frame is None:
        raise Abort("the reader exposes no frame")

    tree = poll(lambda: descendant(frame, pyatspi.ROLE_TREE, "项目"), FIND_SECONDS)
    if tree is None:
        raise Abort("no tree named 项目 in the frame")
    check(descendant(frame, pyatspi.ROLE_TEXT, "关键字") is not None,
          "no text box named 关键字 in the frame")
    buttons = {}
    for name in ("上一页", "下一页", "搜索", "回到首页"):
        buttons[name] = descendant(frame, pyatspi.ROLE_PUSH_BUTTON, name)
        if buttons[name] is None:
            raise Abort(f"no push button named {name}")

    window_id, title = window_title(app.get_process_id())
    check_start(frame, tree, buttons, title)

    open_first_category(tree, frame, window_id)
    first_page = poll(lambda: listing_rows(tree), LOAD_SECONDS)
    if not first_page:
        raise Abort(f"no listing after activating 最新文章; list shows {row_names(tree)[:3]}")
    check(len(first_page) == 10, f"the home listing should have 10 rows, has {len(first_page)}")
    check_buttons(buttons, {"上一页": False, "回到首页": False, "下一页": True}, "on page 1")
    print(f"home listing: {len(first_page)} rows, first {first_page[0]!r}", flush=True)

    check_paging(tree, buttons, first_page)


def main():
    signal.signal(signal.SIGALRM, give_up)
    signal.alarm(OVERALL_SECONDS)
    try:
        run()
    except Abort as error:
        fail(str(error))
    if failures:
        print(f"{len(failures)} accessibility check(s) failed", flush=True)
        return 1
    print("accessibility checks passed", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
