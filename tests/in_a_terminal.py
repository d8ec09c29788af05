#!/usr/bin/env python3
"""Runs a test suite the way `make test` typed at a terminal runs it: all three
standard streams on a terminal that is its controlling terminal, and nobody
at the keyboard. The suite must pass within the limit, and leave the
terminal's settings as they were: a test that lets a program reach the
keyboard of the person who typed `make test` waits there until the limit.

    in_a_terminal.py SECONDS command [arguments]
"""
import os
import pty
import select
import sys
import termios
import time


def read_ready(terminal, wait):
    """What the terminal has to read within `wait` seconds, or nothing."""
    if not select.select([terminal], [], [], wait)[0]:
        return b""
    try:
        return os.read(terminal, 65536)
    except OSError:  # the suite has ended, and its side of the terminal is closed
        return b""


def main():
    limit = float(sys.argv[1])
    command = sys.argv[2:]
    pid, terminal = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    before = termios.tcgetattr(terminal)
    deadline = time.monotonic() + limit
    output = bytearray()
    status = None
    while status is None:
        left = deadline - time.monotonic()
        if left <= 0:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            sys.stdout.buffer.write(output[-4000:])
            sys.exit(f"\nstill running after {limit:g} s in a terminal: something waits at it")
        output += read_ready(terminal, min(left, 0.5))
        ended, status_word = os.waitpid(pid, os.WNOHANG)
        if ended == pid:
            status = os.waitstatus_to_exitcode(status_word)
    output += read_ready(terminal, 0)
    after = termios.tcgetattr(terminal)
    sys.stdout.buffer.write(output[-4000:])
    if after != before:
        sys.exit(f"\nthe terminal's settings changed:\n  before {before}\n  after  {after}")
    sys.exit(status)


if __name__ == "__main__":
    main()
