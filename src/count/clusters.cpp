#include "count/clusters.hpp"

#include "count/blocks.hpp"
#include "count/utf8.hpp"
#include "encoding.hpp"

#include <algorithm>
#include <cstring>

// Most text never needs the rules code point by code point: the blocks
// (blocks.hpp) count it a block at a time, and the rules run only from a
// code point that the blocks cannot judge up to where they can again.

namespace {

// The count so far and the rules' context, kept in registers while a block
// is counted: members of the counter would have to go to memory at every
// byte read, which may alias them.
struct RunningCount {
    ClusterRules rules;
    std::uint64_t count;

    void add(char32_t code_point) noexcept
    {
        count += rules.starts_cluster(break_property(code_point)) ? 1 : 0;
    }
};

// The code point that ends right before p, found no further back than
// `start`: the sequence that ends there, or where the bytes there end none,
// the last of them as a U+FFFD.
Decoded decode_before(const unsigned char* p, const unsigned char* start) noexcept
{
    for (std::size_t back = 1; back <= 4 && back <= static_cast<std::size_t>(p - start); ++back) {
        if (!is_continuation(p[-static_cast<std::ptrdiff_t>(back)])) {
            const Decoded decoded = decode(p - back, back);
            if (decoded.size == back) {
                return decoded;
            }
            break;
        }
    }
    return {1, replacement_character};
}

// Where the rules' context after a code point depends on the ones before it:
// an Extend or a ZWJ may continue a pictograph or a conjunct, a regional
// indicator may close a flag.
constexpr bool continues_what_came_before(Break property)
{
    return is_extend(property) || property == Break::zwj || property == Break::regional_indicator;
}

// The rules go on from the context that the blocks' text in [start, stop)
// left: found by going back to its last code point whose context does not
// depend on those before it (the blocks start with one), and following the
// rules from there to the end.
void settle_rules_after_blocks(ClusterRules& rules, const unsigned char* start,
                               const unsigned char* stop) noexcept
{
    if (stop == start) {
        return;
    }
    const unsigned char* from = stop;
    Decoded last{};
    do {
        last = decode_before(from, start);
        from -= last.size;
    } while (continues_what_came_before(break_property(last.code_point)) && from > start);
    rules.restart_after(break_property(last.code_point));
    for (const unsigned char* p = from + last.size; p < stop;) {
        // Only the last can be cut short: a lead that the stop follows.
        const Decoded decoded = decode(p, static_cast<std::size_t>(stop - p));
        const std::size_t size = decoded.size > 0 ? decoded.size : 1;
        (void)rules.starts_cluster(
            break_property(decoded.size > 0 ? decoded.code_point : replacement_character));
        p += size;
    }
}

// Counts with the blocks from p, where they may start, and returns where
// they stop.
const unsigned char* count_blocks(RunningCount& running, BlockCounter blocks,
                                  const unsigned char* p, const unsigned char* end) noexcept
{
    const BlockRun run = blocks(p, end);
    running.count += run.characters;
    settle_rules_after_blocks(running.rules, p, run.stop);
    return run.stop;
}

// Counts the code points that start in [p, end) and returns where the first
// one that runs past `end` starts (`end` if none does).
const unsigned char* count_code_points(RunningCount& running, BlockCounter blocks,
                                       const unsigned char* p, const unsigned char* end) noexcept
{
    while (p < end) {
        if (blocks != nullptr && running.rules.quiet() && blocks_may_start(p, end)) {
            p = count_blocks(running, blocks, p, end);
            if (p == end) {
                break;
            }
        }
        const Decoded decoded = decode(p, static_cast<std::size_t>(end - p));
        if (decoded.size == 0) {
            break;
        }
        running.add(decoded.code_point);
        p += decoded.size;
    }
    return p;
}

} // namespace

void ClusterCounter::add(std::span<const unsigned char> bytes) noexcept
{
    RunningCount running{rules_, 0};
    const unsigned char* p = bytes.data();
    const unsigned char* const end = p + bytes.size();
    bool all_held = false;
    if (held_.size() > 0) {
        // Three more bytes complete the code point that the held ones start.
        // They start a valid sequence, so that its first code point, or its
        // maximal subpart, takes them all, unless it is still cut short.
        const HeldBytes::Joined joined = held_.joined_with(bytes, 3);
        const Decoded decoded = decode(joined.bytes.data(), joined.size);
        all_held = decoded.size == 0;
        if (all_held) {
            held_.hold(joined.view()); // too short a block: all of it waits
        } else {
            running.add(decoded.code_point);
            p += decoded.size - held_.size();
        }
    }
    if (!all_held) {
        const unsigned char* const cut_off = count_code_points(running, blocks_, p, end);
        held_.hold({cut_off, end});
    }
    rules_ = running.rules;
    count_ += running.count;
}

std::uint64_t ClusterCounter::total(bool cut_short) const noexcept
{
    // What is held is the start of a code point that never came: one maximal
    // subpart, one U+FFFD.
    if (cut_short || held_.size() == 0) {
        return count_;
    }
    ClusterRules rules = rules_;
    return count_ + (rules.starts_cluster(Break::other) ? 1 : 0);
}

ClusterExtent cluster_at(std::span<const unsigned char> text, std::size_t at) noexcept
{
    ClusterRules rules;
    unsigned columns = 0;
    bool sure = true;
    bool after_joiner = false;
    std::size_t p = at;
    while (p < text.size()) {
        // A sequence cut short at the end is one U+FFFD.
        const Decoded decoded = decode(text.data() + p, text.size() - p);
        const char32_t code_point = decoded.size > 0 ? decoded.code_point : replacement_character;
        const Break property = break_property(code_point);
        if (rules.starts_cluster(property) && p > at) {
            break;
        }
        const Columns own = columns_of(code_point);
        columns += after_joiner && property == Break::extended_pictographic ? 0 : own.count;
        sure = sure && own.sure;
        after_joiner = property == Break::zwj;
        p += decoded.size > 0 ? decoded.size : text.size() - p;
    }
    return {p, columns, sure};
}
