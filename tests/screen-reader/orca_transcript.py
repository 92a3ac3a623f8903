#!/usr/bin/python3
"""What a blind user hears: runs the reader under the Orca screen reader and checks Orca's speech.

Usage: orca_transcript.py [--wayland] READER SAMPLE_SITE [--print]

Everything runs on a private X display (with openbox: menus need a window manager) and a private
session bus; when the system allows it, in a private network namespace too, so the sample site can
take 127.0.0.1:8780 (the default build's site address) whatever else runs on the machine, and the
reader trusts the test certificate, so an HTTPS front on 127.0.0.1:8781 serves the update
manifest the build asks for (without a private namespace the update offer is not heard). Each
step of scenarios.py presses its keys and waits until Orca has said what the step expects; the
speech that followed the step's first key belongs to that step. --print shows every step's speech;
VENNADAR_ORCA_LOG=FILE keeps Orca's whole debug log.

--wayland runs the reader natively under a headless Wayland compositor instead (sway without
Xwayland, as tests/wayland/run-wayland-test does), keys typed through wtype. Orca 43 reads and
sets the keyboard map with xkbcomp on $DISPLAY and stops at start without one: where a Wayland
desktop gives it Xwayland's display, Orca alone is given the private X display here; the reader
has none. Orca hears the keys there too, as Qt hands every key to the accessibility bus; a step
that cannot be run there says why in its x11_only, one heard otherwise there has a wayland_hear.
"""

import http.server
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
PORT = 8780
UPDATE_PORT = 8781  # the default build's update manifest: https://127.0.0.1:8781/qmzt/update.xml
FIXTURES = os.path.join(HERE, "..", "fixtures")
SYSTEM_TRUST = "/etc/ssl/certs/ca-certificates.crt"
ORCA_START_SECONDS = 60
STEP_SECONDS = 10
GIVE_UP_AFTER = 4  # failed steps in a row: what follows would only wait out its time
QUIET_SECONDS = 0.6  # speech that trails a step's expected words still belongs to it
# "12:00:01.000000 - SPEECH OUTPUT: 'text'" and maybe the voice, "{...}", after it.
SPEECH = re.compile(r"^(\d\d):(\d\d):(\d\d\.\d+) - SPEECH OUTPUT: '(.*)'(?:\{.*\})?$")
TOOLS = ["orca", "openbox", "xvfb-run", "dbus-run-session", "xdotool",
         "/usr/libexec/at-spi-bus-launcher"]
WAYLAND_TOOLS = ["orca", "sway", "wtype", "setpriv", "xvfb-run", "dbus-run-session",
                 "/usr/libexec/at-spi-bus-launcher"]
FAKE_PORTAL = os.path.join(HERE, "..", "portal", "fake_portal")
# xdotool's names for the modifiers: wtype's name for the modifier, and the key that sets it.
WTYPE_MODIFIERS = {"ctrl": ("ctrl", "Control_L"), "alt": ("alt", "Alt_L"),
                   "shift": ("shift", "Shift_L"), "super": ("logo", "Super_L")}
wayland = False  # set in the process that runs the steps

# Orca's debug file is opened with a block buffer; a line buffer lets the steps wait for speech
# instead of sleeping. Nothing else of Orca's is touched.
ORCA_WRAPPER = """
import builtins, runpy, sys
log = sys.argv[1]
real_open = builtins.open
def line_buffered(file, mode="r", buffering=-1, *args, **kwargs):
    if file == log and "w" in mode:
        buffering = 1
    return real_open(file, mode, buffering, *args, **kwargs)
builtins.open = line_buffered
sys.argv = ["orca", "--debug-file=" + log]
runpy.run_path("/usr/bin/orca", run_name="__main__")
"""


def say(message):
    print("orca-transcript: " + message, flush=True)


class Session:
    """The running reader under Orca, and the speech Orca has logged."""

    def __init__(self, work, reader, site, tls):
        self.work = work
        self.tls = tls  # the reader trusts the test certificate: the update manifest is served
        self.reader_path = reader
        self.site_path = site
        self.log = os.path.join(work, "orca.log")
        self.processes = []
        self.read_at = 0
        self.lines = []  # (seconds since midnight, text) of every utterance so far
        self.site = None
        self.reader = None
        self.wayland = wayland
        self.orca_display = os.environ.get("DISPLAY")

    # --- processes ---

    def start(self, argv, **kwargs):
        process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   **kwargs)
        self.processes.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGCONT)
                process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()

    def start_site(self, *options):
        self.site = self.start([self.site_path, "--port", str(PORT), *options])
        wait_for(lambda: port_open(PORT), 10, "the sample site to answer on port %d" % PORT)

    def start_update_front(self):
        """HTTPS on the update port, passing the manifest on from the sample site."""
        class Manifest(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                try:
                    with urllib.request.urlopen("http://127.0.0.1:%d%s" % (PORT, self.path),
                                                timeout=5) as answer:
                        status, body = answer.status, answer.read()
                except OSError:
                    status, body = 502, b""
                self.send_response(status)
                self.send_header("Content-Type", "text/xml; charset=gbk")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        front = http.server.ThreadingHTTPServer(("127.0.0.1", UPDATE_PORT), Manifest)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(FIXTURES, "tls_cert.pem"),
                                os.path.join(FIXTURES, "tls_key.pem"))
        front.socket = context.wrap_socket(front.socket, server_side=True)
        threading.Thread(target=front.serve_forever, daemon=True).start()

    def stop_site(self):
        """Downloads then fail at once: the connection is refused."""
        self.site.terminate()
        self.site.wait(timeout=5)

    def stall_site(self, stalled):
        """A stopped site accepts connections and never answers: a download that hangs."""
        self.site.send_signal(signal.SIGSTOP if stalled else signal.SIGCONT)

    def start_compositor(self):
        """Headless sway, as run-wayland-test starts it; as root it runs as nobody (it will not
        run as root), in a runtime folder of its own that root's clients can still reach."""
        runtime = os.path.join(self.work, "compositor")
        os.makedirs(runtime)
        config = os.path.join(self.work, "sway.config")
        with open(config, "w", encoding="utf-8") as out:
            out.write("xwayland disable\n")
        as_user = []
        if os.getuid() == 0:
            os.chmod(self.work, 0o711)
            os.chmod(config, 0o644)
            os.chown(runtime, *nobody())
            as_user = ["setpriv", "--reuid=%d" % nobody()[0], "--regid=%d" % nobody()[1],
                       "--clear-groups"]
        os.chmod(runtime, 0o700)
        env = {"PATH": os.environ["PATH"], "HOME": runtime, "XDG_RUNTIME_DIR": runtime,
               "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
               "WLR_RENDERER": "pixman"}
        self.start(as_user + ["sway", "-c", config], env=env)

        def socket_path():
            return next((os.path.join(runtime, name) for name in sorted(os.listdir(runtime))
                         if name.startswith("wayland-") and not name.endswith(".lock")), None)

        wait_for(socket_path, 30, "sway to make its socket")
        os.environ["WAYLAND_DISPLAY"] = socket_path()
        os.environ.pop("DISPLAY", None)  # for Orca alone, see start_orca
        # Each wtype call is a keyboard that lives for milliseconds, which a client may never
        # see: one that stays makes the seat's keyboard lasting.
        self.start(["wtype", "-s", "3600000"])
        # The reader looks for the shortcuts portal once, at start, as on a real desktop.
        if os.path.exists(FAKE_PORTAL):
            self.start(["/usr/bin/python3", FAKE_PORTAL])

    def start_orca(self):
        if self.wayland:
            self.start_compositor()
        else:
            self.start_window_manager()
        self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        orca = self.start(["/usr/bin/python3", "-c", ORCA_WRAPPER, self.log],
                          env=dict(os.environ, DISPLAY=self.orca_display))
        # Orca quits at once when another Orca of the same user runs anywhere on the machine.
        wait_for(lambda: self.poll_speech() or orca.poll() is not None or
                 any("Screen reader on" in t for _, t in self.lines),
                 ORCA_START_SECONDS, "Orca to say 'Screen reader on'")
        if orca.poll() is not None and not any("Screen reader on" in t for _, t in self.lines):
            raise RuntimeError("Orca stopped before it spoke; is another Orca running "
                               "(pgrep -a -x orca)?")

    def start_window_manager(self):
        # A window mapped before the window manager runs is never given the focus, and Orca
        # follows only the active window: openbox says when it manages the display.
        ready = os.path.join(self.work, "openbox-ready")
        self.start(["openbox", "--startup", "touch " + ready])
        wait_for(lambda: os.path.exists(ready), 30, "openbox to manage the display")

    def start_reader(self):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_QPA_PLATFORM="wayland" if self.wayland else "xcb")
        self.reader = self.start([self.reader_path], env=env)

    def reader_alive(self):
        return self.reader is not None and self.reader.poll() is None

    # --- speech ---

    def poll_speech(self):
        """Reads what Orca has logged since the last call; True when there was new speech."""
        try:
            with open(self.log, encoding="utf-8", errors="replace") as log:
                log.seek(self.read_at)
                chunk = log.read()
        except FileNotFoundError:
            return False
        end = chunk.rfind("\n") + 1  # a line still being written waits for the next call
        self.read_at += len(chunk[:end].encode("utf-8", errors="replace"))
        before = len(self.lines)
        for line in chunk[:end].splitlines():
            match = SPEECH.match(line)
            if match:
                hours, minutes, seconds, text = match.groups()
                at = int(hours) * 3600 + int(minutes) * 60 + float(seconds)
                self.lines.append((at, text))
        return len(self.lines) > before


def nobody():
    import pwd  # noqa: E402 - only where the compositor runs as nobody
    entry = pwd.getpwnam("nobody")
    return entry.pw_uid, entry.pw_gid


def port_open(port):
    with socket.socket() as probe:
        probe.settimeout(0.5)
        return probe.connect_ex(("127.0.0.1", port)) == 0


def wait_for(probe, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if probe():
            return
        time.sleep(0.1)
    raise RuntimeError("gave up waiting for " + what)


def now_of_day():
    t = time.localtime()
    return t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec + (time.time() % 1)


def heard_in_order(texts, expected):
    """Whether each expected pattern matches an utterance, in the given order."""
    position = 0
    for pattern in expected:
        while position < len(texts) and not re.search(pattern, texts[position]):
            position += 1
        if position == len(texts):
            return False
        position += 1
    return True


def key(*keys):
    if not wayland:
        subprocess.run(["xdotool", "key", "--delay", "60", *keys], check=True, timeout=10)
        return
    # As a keyboard through a compositor: a modifier's key goes down, then the seat's modifier
    # state follows; a key without that state is not the modifier to Qt (Alt alone would open
    # and close the menu bar at once).
    command = ["wtype"]
    for combination in keys:
        names = combination.split("+")
        modifiers = [WTYPE_MODIFIERS[name] for name in names if name in WTYPE_MODIFIERS]
        for state, name in modifiers:
            command += ["-P", name, "-M", state]
        command += ["-k", names[-1]] if names[-1] not in WTYPE_MODIFIERS else ["-s", "50"]
        for state, name in reversed(modifiers):
            command += ["-p", name, "-m", state]
        command += ["-s", "60"]
    subprocess.run(command, check=True, timeout=10)


def type_text(text):
    if wayland:
        subprocess.run(["wtype", "-d", "60", "--", text], check=True, timeout=10)
    else:
        subprocess.run(["xdotool", "type", "--delay", "60", text], check=True, timeout=10)


def run_steps(session, steps, show):
    """Runs each step; returns the failures and the whole transcript."""
    failures = []
    transcript = []
    failed_in_a_row = 0
    for step in steps:
        if session.wayland and step.x11_only:
            transcript.append((step.name, ["(not on Wayland: %s)" % step.x11_only]))
            if show:
                say("skip %s: not on Wayland, %s" % (step.name, step.x11_only))
            continue
        hear = step.wayland_hear if session.wayland and step.wayland_hear is not None \
            else step.hear
        session.poll_speech()
        first = len(session.lines)
        started = now_of_day()
        if step.action is not None:
            step.action(session)
        heard = []

        def done():
            session.poll_speech()
            heard[:] = [t for at, t in session.lines[first:] if at >= started - 0.05]
            return heard_in_order(heard, hear)

        def finished():  # a step that ends the program waits for it to be gone too
            return done() and not (step.exits and session.reader_alive())

        deadline = time.monotonic() + step.seconds
        while not finished() and time.monotonic() < deadline and \
                (session.reader_alive() or step.exits):
            time.sleep(0.05)
        # Let trailing speech arrive, so what must not be heard is checked too.
        quiet_until = time.monotonic() + step.quiet
        while time.monotonic() < quiet_until:
            if session.poll_speech():
                quiet_until = time.monotonic() + step.quiet
            time.sleep(0.05)
        done()
        transcript.append((step.name, list(heard)))
        problems = []
        if not heard_in_order(heard, hear):
            problems.append("expected, in order: %s" % hear)
        for pattern in step.not_hear:
            stray = [t for t in heard if re.search(pattern, t)]
            if stray:
                problems.append("must not hear %r, heard %s" % (pattern, stray))
        if session.reader_alive() == step.exits:
            problems.append("the reader is still running" if step.exits else "the reader is gone")
        failed_in_a_row = failed_in_a_row + 1 if problems else 0
        if problems:
            failures.append(step.name)
            say("FAIL %s: %s; heard %s" % (step.name, "; ".join(problems), heard))
        elif show:
            say("ok   %s: %s" % (step.name, heard))
        if not session.reader_alive() and not step.exits:
            break
        if failed_in_a_row == GIVE_UP_AFTER:
            say("%d steps in a row failed; the rest of the walk is not run" % GIVE_UP_AFTER)
            break
    return failures, transcript


def inside(reader, site, show, tls):
    sys.path.insert(0, HERE)
    import scenarios  # noqa: E402 - after the path is set

    scenarios.harness.wayland = wayland  # scenarios' keys go through its own import of this file

    work = tempfile.mkdtemp(prefix="orca-transcript-")
    # A home of its own: Orca starts with its default settings and no first-run questions.
    for name in ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
        os.environ[name] = os.path.join(work, name.lower())
        os.makedirs(os.environ[name])
    os.environ["XDG_RUNTIME_DIR"] = os.path.join(work, "runtime")
    os.makedirs(os.environ["XDG_RUNTIME_DIR"], mode=0o700)
    session = Session(work, reader, site, tls)
    failures = []
    try:
        session.start_site()
        if tls:
            session.start_update_front()
        session.start_orca()
        steps = scenarios.steps(session)
        if os.environ.get("VENNADAR_ORCA_STEPS"):  # the first N steps only, when working on one
            steps = steps[:int(os.environ["VENNADAR_ORCA_STEPS"])]
        failures, transcript = run_steps(session, steps, show)
    except BaseException:
        failures = ["the harness"]
        raise
    finally:
        session.stop_all()
        kept = os.environ.get("VENNADAR_ORCA_LOG") or (
            os.path.abspath("orca-transcript-failed.log") if failures else None)
        if kept and os.path.exists(session.log):
            shutil.copy(session.log, kept)
            if failures:
                say("Orca's debug log: " + kept)
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        say("what Orca said, step by step:")
        for name, heard in transcript:
            print("  %-28s %s" % (name, " | ".join(heard)), flush=True)
    say("%d steps, %d failed" % (len(transcript), len(failures)))
    return 1 if failures else 0


def isolate():
    """In a private user, network and mount namespace: loopback up, the test certificate trusted."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    return os.path.exists(SYSTEM_TRUST) and subprocess.run(
        ["mount", "--bind", os.path.join(FIXTURES, "tls_cert.pem"), SYSTEM_TRUST],
        capture_output=True, check=False).returncode == 0


def main():
    global wayland
    args = [a for a in sys.argv[1:] if a not in ("--print", "--tls", "--wayland")]
    show = "--print" in sys.argv
    wayland = "--wayland" in sys.argv
    if args and args[0] == "--inside":
        return inside(args[1], args[2], show, "--tls" in sys.argv)
    tls = False
    if args and args[0] == "--isolated":
        tls = isolate()
        args = args[1:]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    missing = [t for t in (WAYLAND_TOOLS if wayland else TOOLS) if shutil.which(t) is None]
    if missing:
        say("missing %s; the screen-reader test needs them (scripts/install-deps installs "
            "orca, openbox, xvfb, dbus and xdotool; sway and wtype for --wayland)"
            % ", ".join(missing))
        return 1
    reader, site = (os.path.realpath(a) for a in args)
    extra = (["--print"] if show else []) + (["--wayland"] if wayland else [])
    # sway runs as nobody when started by root, and a user namespace of root's own has no
    # nobody: root stays root in a network and mount namespace.
    unshare = ["unshare", "-nm" if wayland and os.geteuid() == 0 else "-rnm"]
    if "--isolated" not in sys.argv and shutil.which("unshare") and shutil.which("ip") and \
            subprocess.run(unshare + ["ip", "link", "set", "lo", "up"],
                           capture_output=True, check=False).returncode == 0:
        return subprocess.run(unshare + [sys.executable, os.path.abspath(__file__),
                                         "--isolated", reader, site] + extra,
                              check=False).returncode
    if port_open(PORT):
        say("127.0.0.1:%d is busy; the reader is built to browse it, stop whatever listens "
            "there" % PORT)
        return 1
    if not tls:
        say("no private namespace: the update offer at start-up is not part of this run")
    started = time.monotonic()
    command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "dbus-run-session", "--",
               sys.executable, os.path.abspath(__file__), "--inside", reader, site] + extra
    if tls:
        command.append("--tls")
    status = subprocess.run(command, check=False).returncode
    say("finished in %.0f s, status %d" % (time.monotonic() - started, status))
    return status

if __name__ == "__main__":
    sys.exit(main())
