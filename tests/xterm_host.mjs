#!/usr/bin/env node
// A headless xterm.js, for the tests to feed what a program writes to its
// pseudo-terminal and read the screen back. One JSON object a line on
// standard input, answers the same way on standard output:
//
//   {"write": base64}         the program's output, fed to the terminal
//   {"resize": [cols, rows]}
//   {"dump": true}            -> {"rows": [...], "cursor": [x, y], "at_cursor": "c"}
//                                (the window's rows, the cursor in them, and
//                                the character in the cursor's cell)
//   {"count": base64}         -> {"count": n}: Intl.Segmenter's characters of
//                                the bytes as UTF-8 up to the first zero byte
//   what the terminal answers -> {"reply": base64}, when it answers
//   a step that failed        -> {"error": "..."}
//
//     node xterm_host.mjs COLUMNS ROWS [unicode11]
//
// With unicode11, widths as Unicode 11 gives them (the addon that VS Code
// loads); without, xterm.js's own Unicode 6 widths, in which most emoji take
// one column.

import { createInterface } from 'node:readline';
import headless from '@xterm/headless';
import unicode11 from '@xterm/addon-unicode11';

const [columns, rows, widths] = process.argv.slice(2);
const terminal = new headless.Terminal({
    cols: Number(columns),
    rows: Number(rows),
    allowProposedApi: true,
    scrollback: 1000,
});
if (widths === 'unicode11') {
    terminal.loadAddon(new unicode11.Unicode11Addon());
    terminal.unicode.activeVersion = '11';
}

const say = (object) => process.stdout.write(`${JSON.stringify(object)}\n`);
terminal.onData((data) => say({ reply: Buffer.from(data, 'utf8').toString('base64') }));

function dump() {
    const buffer = terminal.buffer.active;
    const window = [];
    for (let y = 0; y < terminal.rows; ++y) {
        window.push(buffer.getLine(buffer.baseY + y).translateToString(true));
    }
    // Past the last column before a wrap, the cursor stands on the last.
    const x = Math.min(buffer.cursorX, terminal.cols - 1);
    const cell = buffer.getLine(buffer.baseY + buffer.cursorY).getCell(x);
    say({ rows: window, cursor: [buffer.cursorX, buffer.cursorY], at_cursor: cell.getChars() });
}

function count(bytes) {
    const zero = bytes.indexOf(0);
    const text = new TextDecoder().decode(zero < 0 ? bytes : bytes.subarray(0, zero));
    return [...new Intl.Segmenter('fi', { granularity: 'grapheme' }).segment(text)].length;
}

// In order: a dump or a count waits for the writes before it. A step that
// fails is said, and the next goes on.
let queue = Promise.resolve();
const inOrder = (step) => {
    queue = queue.then(step).catch((error) => say({ error: String(error) }));
};
for await (const line of createInterface({ input: process.stdin })) {
    const command = JSON.parse(line);
    if ('write' in command) {
        const bytes = Buffer.from(command.write, 'base64');
        inOrder(() => new Promise((done) => terminal.write(bytes, done)));
    } else if ('resize' in command) {
        inOrder(() => terminal.resize(command.resize[0], command.resize[1]));
    } else if ('dump' in command) {
        inOrder(dump);
    } else if ('count' in command) {
        inOrder(() => say({ count: count(Buffer.from(command.count, 'base64')) }));
    }
}
