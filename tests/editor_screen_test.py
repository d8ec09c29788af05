#!/usr/bin/env python3
"""The line as a person sees it while editing, on real terminals: each case
types, pastes, resizes or stops the program at a shell, and then
- the window reads the prompt and the line once, and nothing after them;
- the cursor is where the next key goes: a '#' typed then shows there;
- Enter counts what Intl.Segmenter counts of the line (up to a zero byte,
  as a pipe counts it).

    editor_screen_test.py PROGRAM tmux|xterm|xterm-unicode6 [CASE...]
"""
import re
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field

from terminals import Tmux, XtermJs

PROMPT = "Anna tutkittava teksti: "
ESC = b"\x1b"
LEFT, HOME, END = ESC + b"[D", ESC + b"[H", ESC + b"[F"
BACKSPACE, CTRL_K, CTRL_U, CTRL_Z = b"\x7f", b"\x0b", b"\x15", b"\x1a"


def typed(text):
    return ("type", text.encode() if isinstance(text, str) else text)


def pasted(data):
    return ("paste", data.encode() if isinstance(data, str) else data)


def resized(columns, rows=None):
    return ("resize", columns, rows)


def asked_at_most(questions):
    """Since the start or the last such step, the program asked the terminal
    where its cursor is no more than this often (counted on xterm.js)."""
    return ("asked", questions)


STOPPED_AND_BACK = [typed(CTRL_Z), ("shell", "[1]+"), typed("fg\r"), ("shell", PROMPT)]


@dataclass
class Case:
    name: str
    steps: list
    before: str  # the line before the cursor, and after it, at the end
    after: str = ""
    columns: int = 40
    rows: int = 12
    terminals: tuple = ("tmux", "xterm", "xterm-unicode6")
    widths: tuple = field(default=(40,))
    # Where a terminal shows the line otherwise than as its characters.
    shown_before: dict = field(default_factory=dict)
    # Taller than the window at the end: the window shows a part of it.
    tall: bool = False


# Forty emoji whose hashes fall on the same entries in places.
EMOJI_40 = "".join(chr(0x1F300 + 13 * i) for i in range(40))


def line_bytes(text):
    return text.encode("utf-8", "surrogateescape")


CASES = [
    Case("ConjunctAcrossTheMargin",
         [typed("abcdefghijklm"), typed("क्षत्रिय"), typed("Z"), typed(LEFT * 4), typed(END)],
         "abcdefghijklmक्षत्रियZ"),
    Case("SkinToneAcrossTheMargin",
         [typed("abcdefghijklmn"), typed("👍🏽xyz"), typed(LEFT), typed("Q")],
         "abcdefghijklmn👍🏽xyQ", "z"),
    Case("FlagAcrossTheMargin",
         [typed("abcdefghijklmno🇫🇮Z"), typed(END), typed("Q")], "abcdefghijklmno🇫🇮ZQ"),
    Case("FamilyAcrossTheMargin",
         [typed("abcdefghijklmn"), typed("👨\u200d👩\u200d👧"), typed("xy"), typed(LEFT)],
         "abcdefghijklmn👨\u200d👩\u200d👧x", "y"),
    # tmux on Debian 12's C library knows no 🫩 (Unicode 16.0), and draws it
    # in no columns: it shows as U+FFFD.
    Case("EmojiNewerThanTheTerminal", [typed("ab🫩c"), typed(LEFT)], "ab🫩", "c",
         shown_before={"tmux": "ab\ufffd"}),
    Case("FullRowThenWider", [typed("abcdefghijklmnop"), resized(60)], "abcdefghijklmnop"),
    Case("WrappedThenNarrower", [typed("abcdefghijklmnopqrstuvwxyz" + "ä" * 10), typed(LEFT * 3),
                                 resized(30)], "abcdefghijklmnopqrstuvwxyz" + "ä" * 7, "äää"),
    Case("ResizedWhileStopped",
         [typed("abcdefghijklmnopqrstuvwxyz"), typed(CTRL_Z), ("shell", "[1]+"), resized(60),
          typed("fg\r"), ("shell", PROMPT), typed(HOME), typed("X")],
         "X", "abcdefghijklmnopqrstuvwxyz"),
    Case("StoppedAndBrought back".replace(" ", ""),
         [typed("hei")] + STOPPED_AND_BACK + [typed("!")], "hei!"),
    Case("AltWithLettersOfAnyLength",
         [typed("ab"), typed(ESC + "ä".encode()), typed(ESC + "漢".encode()),
          typed(ESC + "👍".encode()), typed("c")], "abc"),
    Case("CtrlArrowsOfEveryKind",
         [typed("one two three"), typed(ESC + b"O5D"), typed(ESC + b"[1;5D"), typed("X"),
          typed(ESC + b"[1;5C"), typed("Y")], "one XtwoY", " three"),
    Case("APasteOfControlsCountsAsAPipe",
         [typed("alku "), pasted(b"a\x07b\x01c\x1b[0md")], "alku a\x07b\x01c\x1b[0md"),
    Case("APasteOfSignalCharactersIsText", [pasted(b"a\x03b\x1ac\x1cd\x11e\x13f")],
         "a\x03b\x1ac\x1cd\x11e\x13f"),
    Case("APasteWithAZeroByteCountsUpToIt", [pasted(b"ab\x00cd")], "ab\x00cd"),
    Case("AnIllFormedByteShowsAsItIsCounted", [typed("ab"), typed(b"\xff"), typed("xy")],
         "ab\udcffxy"),
    Case("AMarkAloneLeavesThePromptAsItWas", [typed("\u0301"), typed(CTRL_U), typed("abc")],
         "abc"),
    Case("AMarkAloneIsACharacterOfItsOwn", [typed("\u0301x"), typed(LEFT)], "\u0301", "x"),
    Case("TallerThanTheWindow", [pasted("0123456789" * 60), typed(HOME), typed(CTRL_K),
                                 typed("ok")], "ok"),
    Case("TallerThanTheWindowBackToItsEnd", [pasted("0123456789" * 60), typed(HOME),
                                            typed("<"), typed(END), typed(">")],
         "<" + "0123456789" * 60 + ">", tall=True),
    # Up a few rows, above the window's top: it scrolls down that far.
    Case("TallerThanTheWindowUpAFewRows", [pasted("word " * 130), typed((ESC + b"[1;5D") * 117)],
         "word " * 13, "word " * 117, tall=True),
    # Each character the terminal is asked about once, in batches of sixteen
    # after a question of where they start; a redraw asks only where it is.
    Case("EachNewCharacterIsAskedAboutOnce",
         [typed(EMOJI_40), asked_at_most(40 + 3), resized(41), resized(40), asked_at_most(2)],
         EMOJI_40, terminals=("xterm",)),
    # Of no height, the window is never taken to scroll, and the cursor goes
    # back up a row as it came.
    Case("OfNoHeightBackUpARow", [resized(40, 0), typed("abcdefghijklmnopqrstuvwxyz"),
                                  typed(LEFT * 20)], "abcdef", "ghijklmnopqrstuvwxyz",
         terminals=("xterm", "xterm-unicode6")),
    Case("NarrowBackspaceAtTheStart", [typed("abc"), typed(LEFT * 2), typed(BACKSPACE)],
         "", "bc", widths=(3, 1)),
    Case("NarrowEditsInTheMiddle", [typed("abcdefgh"), typed(LEFT * 5), typed("XY"),
                                    typed(BACKSPACE)], "abcX", "defgh", widths=(3, 1)),
    Case("NarrowWideLetters", [typed("a漢ä漢b"), typed(LEFT * 2)], "a漢ä", "漢b", widths=(3,)),
]

TERMINALS = {
    "tmux": lambda columns, rows: Tmux(columns, rows),
    "xterm": lambda columns, rows: XtermJs(columns, rows, "unicode11"),
    "xterm-unicode6": lambda columns, rows: XtermJs(columns, rows, "unicode6"),
}


def display(line):
    """The line as the editor shows it, spaces aside: controls in caret
    notation, what is no UTF-8 as U+FFFD."""
    shown = []
    for character in line.decode("utf-8", "replace"):
        code = ord(character)
        if code < 0x20 or code == 0x7F:
            shown.append("^" + chr(code ^ 0x40))
        elif 0x80 <= code < 0xA0:
            shown.append("M-^" + chr(code - 0x40))
        else:
            shown.append(character)
    return "".join(shown).replace(" ", "")


def read_wrong(screen, line_shown, tall, columns):
    """What is wrong with the window, or None where it reads the prompt and
    the line once, and nothing after them; or, taller than the window, a
    part of them and nothing else; with no blank row among them. Brought
    back from a stop, the window shows the prompt of before above the
    shell's lines."""
    window = screen.text()
    cut = window.rfind("$fg") + 1
    window = window[cut:]
    prompt = PROMPT.replace(" ", "")
    wanted = prompt + line_shown
    prompts = window.count(prompt)
    visible = window[window.rfind(prompt):] if prompts else window
    whole = prompts == 1 and window.endswith(wanted)
    a_part = tall and prompts <= 1 and visible and visible in wanted
    # The line's rows: after the prompt's, or all where it is out of sight.
    rows, offset, first = [row.replace(" ", "") for row in screen.rows], 0, 0
    if prompts:
        start = cut + window.rfind(prompt)
        for i, row in enumerate(rows):
            if offset + len(row) > start:
                first = i + (len(PROMPT) - 1) // columns
                break
            offset += len(row)
    rows = rows[first + 1 if prompts else 0:]
    while rows and not rows[-1]:
        rows.pop()
    if (whole or a_part) and all(rows):
        return None
    return (f"the window does not read the prompt and the line once:\n  wanted ...{wanted}\n  " +
            "\n  ".join(screen.rows))


def run(program, case, kind, columns, counter):
    rows = max(case.rows, 40) if columns < 10 else case.rows
    terminal = TERMINALS[kind](columns, rows)
    failures = []
    try:
        terminal.wait_for("$")
        terminal.type(program.encode() + b"\r")
        terminal.wait_for(PROMPT)
        terminal.settle()
        terminal.questions = 0
        for step in case.steps:
            if step[0] == "type":
                terminal.type(step[1])
            elif step[0] == "paste":
                terminal.paste(step[1])
            elif step[0] == "resize":
                terminal.resize(step[1], rows if step[2] is None else step[2])
            elif step[0] == "shell":
                terminal.wait_for(step[1])
            elif step[0] == "asked":
                terminal.settle()
                if terminal.questions > step[1]:
                    failures.append(f"asked where the cursor is {terminal.questions} times, "
                                    f"not {step[1]}")
                terminal.questions = 0
            terminal.settle()
        before = terminal.settle()
        terminal.type(b"#")
        terminal.settle()
        terminal.type(LEFT)
        marked = terminal.settle()
        line = line_bytes(case.before) + b"#" + line_bytes(case.after)
        if marked.cursor != before.cursor or marked.at_cursor != "#":
            failures.append(f"the cursor stood at {before.cursor}, and '#' typed there shows "
                            f"{marked.at_cursor!r} at {marked.cursor}")
        shown = case.shown_before.get(kind)
        for screen, marker in ((before, b""), (marked, b"#")):
            line_shown = (display(line_bytes(case.before)) if shown is None else shown) + display(
                marker + line_bytes(case.after))
            failure = read_wrong(screen, line_shown, case.tall, columns)
            if failure:
                failures.append(failure)
        terminal.type(b"\r")
        terminal.wait_for("merkkiä.")
        counted = re.search(r"Tekstinmittaon(\d+)merkkiä\.", terminal.screen().text())
        expected = counter.count(line)
        if counted is None or int(counted.group(1)) != expected:
            failures.append(f"counted {counted and counted.group(1)}, Intl.Segmenter {expected}")
        # The key wait takes no key until the terminal has been quiet a moment.
        terminal.settle(quiet=0.3)
        terminal.type(b"k")
        terminal.wait_for("$")
    except TimeoutError as timeout:
        failures.append(str(timeout))
    finally:
        terminal.close()
    return failures


def main():
    program, kind, *names = sys.argv[1:]
    runs = [(case, columns) for case in CASES
            if (not names or case.name in names) and kind in case.terminals
            for columns in case.widths
            if not (kind.startswith("xterm") and columns < 2)]  # xterm.js: two at the least
    counter = XtermJs(10, 2)
    counting = threading.Lock()

    class Counter:
        @staticmethod
        def count(line):
            with counting:
                return counter.count(line)

    # The terminals mostly wait for the screen to stand still: a few at once.
    try:
        with ThreadPoolExecutor(max_workers=4) as pool:
            results = list(pool.map(lambda run_: run(program, run_[0], kind, run_[1], Counter),
                                    runs))
    finally:
        counter.close()
    for (case, columns), failures in zip(runs, results):
        print(("FAIL " if failures else "ok   ") + f"{case.name} at {columns} columns in {kind}")
        for failure in failures:
            print("     " + failure.replace("\n", "\n     "))
    sys.exit(1 if any(results) else 0)


if __name__ == "__main__":
    main()
