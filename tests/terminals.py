"""Real terminal emulators, for the tests of what the editor draws: tmux, and
the headless xterm.js (xterm_host.mjs) fed what the program writes to a
pseudo-terminal of ours. Each runs a shell (bash, with job control) at a
size, takes keys and pastes, changes its size, and shows its window's rows
and its cursor."""
import base64
import fcntl
import itertools
import json
import os
import pty
import re
import select
import struct
import subprocess
import tempfile
import termios
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SHELL_ENV = {"PATH": "/usr/bin:/bin", "HOME": "/tmp", "LANG": "C.UTF-8", "PS1": "$ "}
SHELL = ["bash", "--norc", "--noprofile", "-i"]


class Screen:
    def __init__(self, rows, cursor, at_cursor):
        self.rows = rows  # the window's rows, as text
        self.cursor = tuple(cursor)  # column, row, from 0
        self.at_cursor = at_cursor  # what the cursor's cell holds

    def text(self):
        """The window's rows as one text, without their spaces."""
        return "".join(self.rows).replace(" ", "")


class Terminal:
    def settle(self, quiet=0.15, limit=10):
        """Waits until the screen has stood still for `quiet` seconds."""
        deadline = time.monotonic() + limit
        last, since = None, time.monotonic()
        while time.monotonic() < deadline:
            now = self.screen()
            seen = (tuple(now.rows), now.cursor)
            if seen != last:
                last, since = seen, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return now
            time.sleep(0.02)
        raise TimeoutError("the screen never stood still")

    def wait_for(self, text, limit=10):
        """Waits until the window shows `text` (spaces aside)."""
        wanted = text.replace(" ", "")
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if wanted in self.screen().text():
                return
            time.sleep(0.02)
        raise TimeoutError(f"{text!r} never showed: {self.screen().rows}")


class Tmux(Terminal):
    """A tmux session of its own server, running the shell."""

    servers = itertools.count()

    def __init__(self, columns, rows):
        self.server = f"pituus-test-{os.getpid()}-{next(Tmux.servers)}"
        config = tempfile.NamedTemporaryFile("w", suffix=".conf", delete=False)
        config.write("set -g status off\nset -g default-terminal xterm-256color\n")
        config.close()
        self.config = config.name
        environment = " ".join(f"{k}='{v}'" for k, v in SHELL_ENV.items())
        self.tmux("new-session", "-d", "-s", "t", "-x", str(columns), "-y", str(rows),
                  f"env -i {environment} TERM=xterm-256color {' '.join(SHELL)}")

    def tmux(self, *arguments, capture=False):
        return subprocess.run(["tmux", "-L", self.server, "-f", self.config, *arguments],
                              check=True, capture_output=True, text=capture).stdout

    def type(self, data):
        # A key each call from an ESC on: tmux reads ESC and the next key of
        # one call as Alt with that key.
        for key in re.split(b"(?=\x1b)", data):
            if key:
                self.tmux("send-keys", "-t", "t", "-H", *(f"{b:02x}" for b in key))

    def paste(self, data):
        with tempfile.NamedTemporaryFile(delete=False) as buffer:
            buffer.write(data)
        self.tmux("load-buffer", "-b", "p", buffer.name)
        os.unlink(buffer.name)
        self.tmux("paste-buffer", "-p", "-d", "-b", "p", "-t", "t")

    def resize(self, columns, rows):
        self.tmux("resize-window", "-t", "t", "-x", str(columns), "-y", str(rows))

    def screen(self):
        rows = self.tmux("capture-pane", "-p", "-t", "t", capture=True).split("\n")[:-1]
        x, y, at = self.tmux("display", "-p", "-t", "t",
                             "#{cursor_x} #{cursor_y} #{cursor_character}",
                             capture=True).rstrip("\n").split(" ", 2)
        return Screen(rows, (int(x), int(y)), at)

    def close(self):
        subprocess.run(["tmux", "-L", self.server, "kill-server"], capture_output=True)
        os.unlink(self.config)


class XtermJs(Terminal):
    """The headless xterm.js on a pseudo-terminal that runs the shell: what
    the shell's programs write goes to it, and its answers come back as
    input."""

    def __init__(self, columns, rows, widths="unicode11"):
        self.node = subprocess.Popen(
            ["node", os.path.join(HERE, "xterm_host.mjs"), str(columns), str(rows), widths],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        pid, self.master = pty.fork()
        if pid == 0:
            fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))
            os.execve("/bin/bash", SHELL, {**SHELL_ENV, "TERM": "xterm-256color"})
        self.pid = pid
        self.from_node = b""
        self.written = b""  # the last bytes the program wrote, for a question cut in two
        self.questions = 0  # how often the program asked where the cursor is

    def send(self, command):
        self.node.stdin.write(json.dumps(command).encode() + b"\n")
        self.node.stdin.flush()

    def pump(self, until_answer=False, seconds=0.0):
        """Passes the program's output on, and the terminal's replies back,
        for `seconds`, or until the host answers."""
        deadline = time.monotonic() + (10 if until_answer else seconds)
        while True:
            while b"\n" in self.from_node:
                line, self.from_node = self.from_node.split(b"\n", 1)
                message = json.loads(line)
                if "reply" in message:
                    os.write(self.master, base64.b64decode(message["reply"]))
                elif "error" in message:
                    raise RuntimeError("xterm.js: " + message["error"])
                else:
                    return message
            wait = max(0.0, deadline - time.monotonic())
            if until_answer and wait == 0:
                raise TimeoutError("xterm.js never answered")
            ready = select.select([self.master, self.node.stdout], [], [], wait)[0]
            if self.master in ready:
                try:
                    data = os.read(self.master, 65536)
                except OSError:
                    data = b""
                if data:
                    self.send({"write": base64.b64encode(data).decode()})
                    seen = self.written + data
                    self.questions += seen.count(b"\x1b[6n")  # the tail holds no whole one
                    self.written = seen[-3:]
            if self.node.stdout in ready:
                data = os.read(self.node.stdout.fileno(), 65536)
                if not data:
                    raise RuntimeError("xterm.js ended (npm ci puts @xterm/headless in place)")
                self.from_node += data
            if not ready and not until_answer:
                return None

    def type(self, data):
        self.pump(seconds=0.01)
        os.write(self.master, data)

    def paste(self, data):
        self.type(b"\x1b[200~" + data.replace(b"\n", b"\r") + b"\x1b[201~")

    def resize(self, columns, rows):
        """Rows 0: the pseudo-terminal gives no height, as a serial line may,
        and the window keeps its rows."""
        self.pump(seconds=0.01)
        if rows > 0:
            self.send({"resize": [columns, rows]})
        fcntl.ioctl(self.master, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))

    def screen(self):
        self.pump(seconds=0.01)
        self.send({"dump": True})
        message = self.pump(until_answer=True)
        return Screen(message["rows"], message["cursor"], message["at_cursor"])

    def count(self, line):
        """Intl.Segmenter's count of the bytes, up to a zero byte."""
        self.send({"count": base64.b64encode(line).decode()})
        return self.pump(until_answer=True)["count"]

    def close(self):
        try:
            os.kill(self.pid, 9)
            os.waitpid(self.pid, 0)
        except OSError:
            pass
        os.close(self.master)
        self.node.stdin.close()
        self.node.wait()
