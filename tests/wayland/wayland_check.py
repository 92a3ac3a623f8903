#!/usr/bin/python3
"""Drives the reader running natively under a Wayland compositor: keys through wtype, what the
windows hold through AT-SPI, the playback keys through the fake portal, the player through MPRIS.

Expects one Vennadar process on the session's accessibility bus browsing the sample site, the
fake portal on the session bus, and WAYLAND_DISPLAY naming the compositor. Exits 0 when every
check passes; otherwise prints each failure and exits 1.
"""

import json
import signal
import subprocess
import sys
import time

import dbus
import pyatspi

OVERALL_SECONDS = 75
WAIT_SECONDS = 20

CATEGORIES = ["最新文章", "最新动态", "经典习题", "高考试题", "知识归纳",
              "教材相关", "课外知识", "文艺展示", "学习工具"]
SHORTCUT_IDS = ["play-pause", "stop", "forward", "back", "louder", "softer"]
MPRIS_NAME = "org.mpris.MediaPlayer2.vennadar"
AUDIO_ARTICLE = "新增音频朗读功能"

failures = []


class Abort(Exception):
    pass


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, flush=True)
    return condition


def poll(probe, seconds=WAIT_SECONDS, interval=0.2):
    """probe() until it gives something truthy; errors from a bus count as "not yet"."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            value = probe()
        except Exception:  # noqa: BLE001 - objects come and go while windows open and close
            value = None
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def key(name):
    subprocess.run(["wtype", "-k", name], timeout=10, check=True)
    time.sleep(0.3)


def find_reader():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and (app.name or "").lower() == "vennadar":
            return app
    return None


def frames(app):
    return [app.getChildAtIndex(i) for i in range(app.childCount)
            if app.getChildAtIndex(i).getRole() == pyatspi.ROLE_FRAME]


def active_frame(app):
    for frame in frames(app):
        if frame.getState().contains(pyatspi.STATE_ACTIVE):
            return frame
    return None


def app_ids():
    """The app_id of every window the compositor manages."""
    tree = json.loads(subprocess.run(["swaymsg", "-t", "get_tree", "--raw"], capture_output=True,
                                     text=True, timeout=10, check=True).stdout)
    found, nodes = [], [tree]
    while nodes:
        node = nodes.pop()
        if node.get("app_id"):
            found.append(node["app_id"])
        nodes += node.get("nodes", []) + node.get("floating_nodes", [])
    return found


def rows(tree):
    table = tree.queryTable()
    return [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]


def run():
    bus = dbus.SessionBus()
    if not poll(lambda: bus.name_has_owner("org.freedesktop.portal.Desktop")):
        raise Abort("the fake portal is not on the bus")
    portal = dbus.Interface(bus.get_object("org.freedesktop.portal.Desktop",
                                           "/org/freedesktop/portal/desktop"),
                            "org.vennadar.FakePortal")

    app = poll(find_reader)
    if app is None:
        raise Abort("no 'vennadar' application on the AT-SPI bus")
    main = poll(lambda: frames(app) and frames(app)[0])
    if main is None:
        raise Abort("the reader exposes no frame")
    tree = poll(lambda: pyatspi.findDescendant(
        main, lambda a: a.getRole() == pyatspi.ROLE_TREE and a.name == "项目"))
    if tree is None:
        raise Abort("no tree named 项目 in the main window")
    check(poll(lambda: rows(tree) == CATEGORIES), f"the nine categories, not {rows(tree)}")
    if not check(poll(lambda: active_frame(app) is not None),
                 "the compositor never gave the main window the focus"):
        raise Abort("no focus, no keys")
    # The compositor finds vennadar.desktop (icon, name) by the windows' app_id.
    check(poll(lambda: "vennadar" in app_ids()), f"app_id should be vennadar: {app_ids()}")
    print("main window on AT-SPI, active, app_id vennadar", flush=True)

    # Keys typed on the Wayland seat reach the list: Down and Return open the second category,
    # which holds the article with audio.
    key("Down")
    key("Return")
    listing = poll(lambda: rows(tree) != CATEGORIES and any(
        row.startswith(AUDIO_ARTICLE + ":") for row in rows(tree)) and rows(tree))
    if not check(listing, f"Down, Return should open 最新动态, list shows {rows(tree)[:2]}"):
        raise Abort("keys do not reach the reader")
    print(f"Down, Return opened 最新动态: {listing[0]!r}", flush=True)

    # The sample site's article with audio: the question comes first, Return answers Yes.
    audio_row = [i for i, row in enumerate(listing) if row.startswith(AUDIO_ARTICLE + ":")]
    for _ in range(audio_row[0]):
        key("Down")
    key("Return")
    question = poll(lambda: pyatspi.findDescendant(
        app, lambda a: "这篇文章含有音乐" in (a.name or "")))
    if not check(question, "the audio article should ask whether to play; windows: " + repr(
            [(c.getRoleName(), c.name) for c in app])):
        raise Abort("no question")
    key("Return")

    if not check(poll(lambda: "bound" in portal.Log()),
                 f"the six keys should be bound at the portal; it logged {list(portal.Log())}; "
                 f"playing: {bus.name_has_owner(MPRIS_NAME)}; windows: "
                 f"{[(c.getRoleName(), c.name) for c in app]}"):
        raise Abort("nothing bound")
    bind = [line for line in portal.Log() if line.startswith("bind ")]
    check(len(bind) == 1 and all(f"{i}=ALT+SHIFT+" in bind[0] for i in SHORTCUT_IDS),
          f"one binding of the six ids, not {bind}")
    print(str(bind[0]), flush=True)

    player = dbus.Interface(bus.get_object(MPRIS_NAME, "/org/mpris/MediaPlayer2"),
                            dbus.PROPERTIES_IFACE)

    def status():
        return str(player.Get("org.mpris.MediaPlayer2.Player", "PlaybackStatus"))

    check(poll(lambda: status() == "Playing"), f"the audio should play, is {status()}")
    portal.Activate("play-pause")
    check(poll(lambda: status() == "Paused"), f"Activated play-pause should pause, is {status()}")
    portal.Activate("play-pause")
    check(poll(lambda: status() == "Playing"), f"and again resume, is {status()}")
    print("Activated toggles playback", flush=True)

    # Return in the body closes the article window, and with it the portal session.
    key("Return")
    check(poll(lambda: "close-session" in portal.Log()),
          f"closing the article should close the session; the portal logged {list(portal.Log())}")
    check(poll(lambda: not bus.name_has_owner(MPRIS_NAME)), "the player should leave the bus")
    print("closing the article closed the session", flush=True)


def give_up(_signum, _frame):
    print(f"FAIL: no result within {OVERALL_SECONDS} s", flush=True)
    sys.exit(1)


def main():
    signal.signal(signal.SIGALRM, give_up)
    signal.alarm(OVERALL_SECONDS)
    try:
        run()
    except Abort as error:
        check(False, str(error))
    if failures:
        print(f"{len(failures)} Wayland check(s) failed", flush=True)
        return 1
    print("Wayland checks passed", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
