// Reads the first line of arbitrary bytes, split into arbitrary reads, in each
// kind of encoding, and checks the count against a plain reference count
// written here from the rules, independently of the tool's own code; and
// edits the same bytes as keys typed at a terminal.

#include "bytes.hpp"
#include "count/blocks.hpp"
#include "count/grapheme.hpp"
#include "editor/line_editor.hpp"
#include "editor/line_screen.hpp"
#include "editor/typed_line.hpp"
#include "first_line.hpp"
#include "terminal_model.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, std::uint64_t got, std::uint64_t expected)
{
    (void)std::fprintf(stderr, "%s: got %llu, expected %llu\n", what,
                       static_cast<unsigned long long>(got),
                       static_cast<unsigned long long>(expected));
    std::abort();
}

// The line's bytes: up to the first line feed, less one carriage return right
// before it, cut at the first zero byte.
std::span<const std::uint8_t> reference_line(std::span<const std::uint8_t> input)
{
    std::size_t end = 0;
    while (end < input.size() && input[end] != '\n') {
        ++end;
    }
    std::size_t zero = 0;
    while (zero < end && input[zero] != 0) {
        ++zero;
    }
    if (zero == end && end < input.size() && end > 0 && input[end - 1] == '\r') {
        --end;
    }
    return input.first(std::min(zero, end));
}

// One row of the table of well-formed UTF-8 byte sequences in the Unicode
// Standard (3.9, table 3-7): the range each byte of the sequence must lie in.
struct WellFormed {
    std::size_t length;
    std::array<std::uint8_t, 4> low;
    std::array<std::uint8_t, 4> high;
};

constexpr std::array<WellFormed, 9> well_formed{{
    {1, {0x00}, {0x7F}},
    {2, {0xC2, 0x80}, {0xDF, 0xBF}},
    {3, {0xE0, 0xA0, 0x80}, {0xE0, 0xBF, 0xBF}},
    {3, {0xE1, 0x80, 0x80}, {0xEC, 0xBF, 0xBF}},
    {3, {0xED, 0x80, 0x80}, {0xED, 0x9F, 0xBF}},
    {3, {0xEE, 0x80, 0x80}, {0xEF, 0xBF, 0xBF}},
    {4, {0xF0, 0x90, 0x80, 0x80}, {0xF0, 0xBF, 0xBF, 0xBF}},
    {4, {0xF1, 0x80, 0x80, 0x80}, {0xF3, 0xBF, 0xBF, 0xBF}},
    {4, {0xF4, 0x80, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF}},
}};

// The code points of the text by that table. Where no row fits, the bytes
// that still fit the start of a row (at least the first byte) are a maximal
// subpart, and one U+FFFD stands for it (3.9, "U+FFFD Substitution of
// Maximal Subparts").
std::vector<char32_t> reference_decode(std::span<const std::uint8_t> s)
{
    std::vector<char32_t> code_points;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t fitting = 1; // bytes that fit the row, or the one byte that fits none
        bool whole = false;
        for (const WellFormed& row : well_formed) {
            std::size_t k = 0;
            while (k < row.length && i + k < s.size() && s[i + k] >= row.low.at(k) &&
                   s[i + k] <= row.high.at(k)) {
                ++k;
            }
            if (k > 0) {
                fitting = k;
                whole = k == row.length;
                break; // the first byte picks the row: no two rows share one
            }
        }
        if (!whole) {
            code_points.push_back(0xFFFD);
            i += fitting;
            continue;
        }
        char32_t c = fitting == 1 ? s[i] : s[i] & (0xFF >> (fitting + 1));
        for (std::size_t k = 1; k < fitting; ++k) {
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        code_points.push_back(c);
        i += fitting;
    }
    return code_points;
}

// Extended grapheme clusters by the rules of Unicode Standard Annex #29 as
// its text gives them, one boundary at a time, looking back as far as a rule
// says. Only the properties come from the tool: its table is checked against
// the Unicode Character Database by a test of its own.
std::uint64_t reference_clusters(std::span<const std::uint8_t> s)
{
    using enum Break;
    const std::vector<char32_t> cps = reference_decode(s);
    std::vector<Break> p;
    p.reserve(cps.size());
    for (const char32_t c : cps) {
        p.push_back(break_property(c));
    }
    const auto is = [](Break b, std::initializer_list<Break> set) {
        return std::find(set.begin(), set.end(), b) != set.end();
    };
    std::uint64_t clusters = p.empty() ? 0 : 1; // GB1
    for (std::size_t i = 1; i < p.size(); ++i) {
        const Break a = p[i - 1];
        const Break b = p[i];
        bool boundary = true; // GB999
        // One branch a rule, in the annex's order, though several give the same answer.
        if (a == cr && b == lf) { // NOLINT(bugprone-branch-clone)
            boundary = false;     // GB3
        } else if (is(a, {control, cr, lf}) || is(b, {control, cr, lf})) {
            boundary = true; // GB4, GB5
        } else if (a == l && is(b, {l, v, lv, lvt})) {
            boundary = false; // GB6
        } else if (is(a, {lv, v}) && is(b, {v, t})) {
            boundary = false; // GB7
        } else if (is(a, {lvt, t}) && b == t) {
            boundary = false; // GB8
        } else if (is(b, {extend, linker, extend_outside_conjunct, zwj, spacing_mark}) ||
                   a == prepend) {
            boundary = false; // GB9, GB9a, GB9b
        } else if (b == consonant) {
            // GB9c: Consonant [Extend Linker]* Linker [Extend Linker]* x Consonant,
            // where Extend is InCB=Extend: the ZWJ and the Extends but U+200C.
            std::size_t k = i;
            bool linked = false;
            while (k > 0 && is(p[k - 1], {extend, zwj, linker})) {
                linked = linked || p[k - 1] == linker;
                --k;
            }
            boundary = !(linked && k > 0 && p[k - 1] == consonant);
        } else if (a == zwj && b == extended_pictographic) {
            std::size_t k = i - 1; // GB11: ExtPict Extend* ZWJ x ExtPict
            while (k > 0 && is(p[k - 1], {extend, linker, extend_outside_conjunct})) {
                --k;
            }
            boundary = !(k > 0 && p[k - 1] == extended_pictographic);
        } else if (a == regional_indicator && b == regional_indicator) {
            std::size_t run = 0; // GB12, GB13: an odd number of RI before
            for (std::size_t k = i; k > 0 && p[k - 1] == regional_indicator; --k) {
                ++run;
            }
            boundary = run % 2 == 0;
        }
        clusters += boundary ? 1 : 0;
    }
    return clusters;
}

// Code points whose rules the fuzzer should meet often, for inputs that
// pick them one byte at a time.
constexpr std::array<char32_t, 62> interesting{
    U'a', U' ', U'\t', U'\r', U'\n', 0x00E4, 0x00A9, 0x00AD, 0x0085, 0x0300, 0x0308, 0x036F, 0x0370,
    0x0483, 0x0600, 0x0903, 0x093F, 0x1100, 0x1161, 0x11A8, 0xAC00, 0xAC01, 0x200D, 0x200B, 0xFE0F,
    0x20E3, 0x1F1EB, 0x1F1EE, 0x1F44D, 0x1F3FD, 0x1F468, 0x1F469, 0xE0020, 0x1D11E, 0x0E33, 0x111C2,
    0xFFFD, 0x0915, 0x4E00, 0x0410,
    // Conjuncts: a virama, a nukta, consonants, a non-joiner, Khmer's coeng.
    0x094D, 0x093C, 0x0937, 0x0924, 0x200C, 0x17D2, 0x179F, 0x2701,
    // Letters and marks of the scripts the blocks take by their rows' classes:
    // Bengali, Tamil, Thai, Khmer, Arabic, Ethiopic, kana and a CJK mark.
    0x0995, 0x09CD, 0x09BE, 0x0B95, 0x0BCD, 0x0E2A, 0x0E31, 0x1780, 0x17B6, 0x0628, 0x064E, 0x1230,
    0x3042, 0x302A};

std::vector<std::uint8_t> encode(std::span<const std::uint8_t> picks)
{
    std::vector<std::uint8_t> text;
    for (const std::uint8_t pick : picks) {
        if (pick >= 0xF0) { // now and then a raw byte, invalid or cut short
            text.push_back(static_cast<std::uint8_t>(0x80 + (pick & 0x0F) * 5));
            continue;
        }
        const char32_t c = interesting.at(pick % interesting.size());
        if (c < 0x80) {
            text.push_back(static_cast<std::uint8_t>(c));
        } else if (c < 0x800) {
            text.push_back(static_cast<std::uint8_t>(0xC0 | (c >> 6)));
            text.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            text.push_back(static_cast<std::uint8_t>(0xE0 | (c >> 12)));
            text.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
            text.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        } else {
            text.push_back(static_cast<std::uint8_t>(0xF0 | (c >> 18)));
            text.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 12) & 0x3F)));
            text.push_back(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
            text.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        }
    }
    return text;
}

// The input read in the sizes the split bytes give (1 to 256, over and over).
std::uint64_t read_in_pieces(std::span<const std::uint8_t> input,
                             std::span<const std::uint8_t> sizes, Charset charset)
{
    FirstLine line(charset, true);
    std::size_t at = 0;
    for (std::size_t turn = 0; at < input.size(); ++turn) {
        const std::size_t size =
            sizes.empty() ? input.size() : std::size_t{sizes[turn % sizes.size()]} + 1;
        const std::size_t taken = std::min(size, input.size() - at);
        // A copy of its own, so that reading past a piece is caught.
        std::vector<std::uint8_t> piece(input.begin() + static_cast<std::ptrdiff_t>(at),
                                        input.begin() + static_cast<std::ptrdiff_t>(at + taken));
        at += taken;
        if (line.add(piece)) {
            break;
        }
    }
    return line.length();
}

// Answers the screen's questions, as the terminal would before more keys;
// `unanswered` where the editor took the answers for text (a paste left open)
// and gave up on them.
LineEditor::State answer(LineEditor& editor, TerminalModel& terminal, Bytes& screen,
                         bool& unanswered)
{
    LineEditor::State state = LineEditor::State::editing;
    for (std::string answers = terminal.take_answers(); !answers.empty();
         answers = terminal.take_answers()) {
        state = editor.take(
            {reinterpret_cast<const unsigned char*>(answers.data()), answers.size()}, screen);
        terminal.write(screen.view());
        screen.clear();
    }
    if (editor.awaiting_answers()) {
        unanswered = true;
        editor.answers_timed_out(screen);
        terminal.write(screen.view());
        screen.clear();
    }
    return state;
}

// The same bytes typed at a terminal where the tool edits the line, in the
// same pieces, the terminal changing its width now and then: whatever they
// hold, the window shows what it would show had the line been drawn afresh,
// and the cursor is where it would be.
void edit(std::span<const std::uint8_t> keys, std::span<const std::uint8_t> sizes, Charset charset)
{
    constexpr std::string_view prompt = "Anna tutkittava teksti: ";
    const unsigned first = sizes.empty() ? 0 : sizes[0];
    unsigned columns = 1 + first % 50;
    const unsigned rows = 1 + first % 7;
    const bool odd_widths = (first & 0x80U) != 0;
    TerminalModel terminal(columns, rows, charset, odd_widths);
    terminal.write(prompt);
    LineEditor editor(charset, prompt, {columns, rows}, {0x03, 0x1C, 0x1A});
    Bytes screen;
    editor.start(screen);
    terminal.write(screen.view());
    screen.clear();
    bool unanswered = false;
    LineEditor::State state = answer(editor, terminal, screen, unanswered);
    std::size_t at = 0;
    for (std::size_t turn = 0; at < keys.size() && state != LineEditor::State::entered &&
                               state != LineEditor::State::ended;
         ++turn) {
        const std::size_t size =
            sizes.empty() ? keys.size() : std::size_t{sizes[turn % sizes.size()]} + 1;
        const std::size_t taken = std::min(size, keys.size() - at);
        state = editor.take(keys.subspan(at, taken), screen);
        at += taken;
        if (turn % 3 == 2) {
            editor.sequence_timed_out(screen);
        }
        terminal.write(screen.view());
        screen.clear();
        if (turn % 5 == 4 && state == LineEditor::State::editing && !sizes.empty()) {
            columns = 1 + (columns + sizes[turn % sizes.size()]) % 50;
            terminal.resize(columns);
            editor.resize({columns, rows}, screen);
            terminal.write(screen.view());
            screen.clear();
        }
        if (state == LineEditor::State::editing || state == LineEditor::State::signalled) {
            state = answer(editor, terminal, screen, unanswered);
        }
    }
    // Given up on the terminal's answers, the editor goes by the table, which
    // a terminal of other widths does not: no screen is right there.
    if ((state != LineEditor::State::editing && state != LineEditor::State::signalled) ||
        (unanswered && odd_widths)) {
        return;
    }
    // The line drawn afresh, on a terminal tall enough for all of it.
    constexpr unsigned tall = 4096;
    TypedLine line(charset);
    line.insert(editor.text());
    line.move_to(editor.cursor());
    TerminalModel fresh_terminal(columns, tall, charset, odd_widths);
    fresh_terminal.write(prompt);
    LineScreen fresh(charset, prompt, {columns, 0});
    fresh.start(screen);
    if (unanswered) {
        fresh.answers_timed_out(line, screen);
    }
    fresh_terminal.write(screen.view());
    screen.clear();
    for (std::string answers = fresh_terminal.take_answers(); !answers.empty();
         answers = fresh_terminal.take_answers()) {
        for (std::size_t a = 0; a < answers.size();) {
            unsigned row = 0;
            unsigned column = 0;
            const char* p =
                std::from_chars(answers.data() + a + 2, answers.data() + answers.size(), row).ptr;
            p = std::from_chars(p + 1, answers.data() + answers.size(), column).ptr;
            a = static_cast<std::size_t>(p + 1 - answers.data());
            fresh.answer(row, column, line, screen);
        }
        fresh.show(line, 0, screen);
        fresh_terminal.write(screen.view());
        screen.clear();
    }
    if (fresh_terminal.cursor_row() >= tall - 1) {
        return; // taller than even that
    }
    if (terminal.cursor_column() != fresh_terminal.cursor_column()) {
        fail("the cursor's column, key by key against afresh", terminal.cursor_column(),
             fresh_terminal.cursor_column());
    }
    const long shift = long{fresh_terminal.cursor_row()} - long{terminal.cursor_row()};
    for (unsigned row = 0; row < terminal.rows(); ++row) {
        const long fresh_row = long{row} + shift;
        const std::string drawn = terminal.row(row);
        if (fresh_row >= 0 && fresh_row < long{tall} &&
            drawn != fresh_terminal.row(static_cast<unsigned>(fresh_row))) {
            (void)std::fprintf(stderr, "row %u: \"%s\"\nafresh: \"%s\"\n", row, drawn.c_str(),
                               fresh_terminal.row(static_cast<unsigned>(fresh_row)).c_str());
            fail("a row of the window, key by key against afresh", row, fresh_row);
        }
    }
}

} // namespace

// The C library's decoder, for Charset::multibyte, decodes UTF-8 here; it is
// checked for splits and bounds only, as it has rules of its own.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    (void)std::setlocale(LC_CTYPE, "C.UTF-8");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // First byte: encoding (a fourth kind is UTF-8 made of picked code
    // points); second: how many split sizes follow.
    if (size < 2) {
        return 0;
    }
    const bool picked = data[0] % 4 == 3;
    const auto charset = picked ? Charset::utf8 : static_cast<Charset>(data[0] % 4);
    const std::size_t split_count = std::min<std::size_t>(data[1] % 16, size - 2);
    const std::span<const std::uint8_t> sizes(data + 2, split_count);
    std::span<const std::uint8_t> input(data + 2 + split_count, size - 2 - split_count);
    std::vector<std::uint8_t> encoded;
    if (picked) {
        encoded = encode(input);
        input = encoded;
    }

    if (charset != Charset::multibyte) {
        // Each edit draws the rest of the line again: a line as long as the
        // longest inputs would cost the count most of the fuzzing's time.
        edit(input.first(std::min<std::size_t>(input.size(), 1024)), sizes, charset);
    }
    const std::uint64_t whole = read_in_pieces(input, {}, charset);
    const std::uint64_t pieces = read_in_pieces(input, sizes, charset);
    if (pieces != whole) {
        fail("the read sizes changed the count", pieces, whole);
    }
    const std::span<const std::uint8_t> line = reference_line(input);
    if (whole > line.size()) {
        fail("more characters than bytes", whole, line.size());
    }
    if (charset == Charset::single_byte && whole != line.size()) {
        fail("single-byte count", whole, line.size());
    }
    if (charset != Charset::utf8) {
        return 0;
    }
    // Every width of block that this processor has counts as the rules do;
    // the widest is left in use.
    const std::uint64_t expected = reference_clusters(line);
    constexpr std::array<std::pair<BlockPath, const char*>, 5> paths{{
        {BlockPath::none, "UTF-8 clusters, code point by code point"},
        {BlockPath::sse2, "UTF-8 clusters, SSE2 blocks"},
        {BlockPath::avx2, "UTF-8 clusters, AVX2 blocks"},
        {BlockPath::avx512, "UTF-8 clusters, AVX-512 blocks"},
        {BlockPath::avx512_vbmi, "UTF-8 clusters, AVX-512 VBMI blocks"},
    }};
    for (const auto& [path, what] : paths) {
        if (path == BlockPath::none || block_counter(path) != nullptr) {
            use_block_path(path);
            const std::uint64_t counted = read_in_pieces(input, sizes, charset);
            if (counted != expected) {
                fail(what, counted, expected);
            }
        }
    }
    return 0;
}
