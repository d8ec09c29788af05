// Counts the grapheme clusters of standard input's first line with ICU's
// character BreakIterator over UTF-8, the way a C++ program would count
// them, and prints the count: the benchmark's ICU column, and a check of
// pituus's count.
//
// The line is read in blocks of 128 KiB, as pituus reads it, so memory stays
// constant whatever the line's length: the iterator sees one block at a time,
// and only the cluster still open at a block's end is carried into the next
// (a single cluster longer than a block would grow the buffer to its length).
// A boundary before a block's last cluster is final, since the cluster rules
// decide a boundary by what comes before it and the one code point after it.
//
// Like pituus: the line ends at its line feed or at a zero byte, and a
// carriage return directly before the line feed is not counted.
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t block_size = std::size_t{128} * 1024;

// The length of text less an incomplete UTF-8 sequence at its end: ICU would
// read such a cut as U+FFFD and find a boundary before it that is not there.
std::size_t whole_sequences(const std::string& text)
{
    const std::size_t size = text.size();
    for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

} // namespace

int main()
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> clusters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        std::fprintf(stderr, "icu_clusters: %s\n", u_errorName(status));
        return 1;
    }

    static char block[block_size];
    std::string text; // the open cluster carried over, then the new block
    UText utext = UTEXT_INITIALIZER;
    std::uint64_t count = 0;
    bool ended = false;
    while (!ended) {
        ssize_t got = read(STDIN_FILENO, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            std::perror("icu_clusters: read");
            return 1;
        }
        auto size = static_cast<std::size_t>(got);
        ended = size == 0;
        const void* line_feed = std::memchr(block, '\n', size);
        const std::size_t before_line_feed =
            line_feed ? static_cast<std::size_t>(static_cast<const char*>(line_feed) - block) : size;
        if (const void* zero = std::memchr(block, '\0', before_line_feed)) {
            text.append(block, static_cast<std::size_t>(static_cast<const char*>(zero) - block));
            ended = true;
        } else if (line_feed) {
            text.append(block, before_line_feed);
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            ended = true;
        } else {
            text.append(block, size);
        }

        // Until the line has ended, the last cluster may go on in the next
        // block: count the boundaries before it and carry it over.
        const std::size_t usable = ended ? text.size() : whole_sequences(text);
        utext_openUTF8(&utext, text.data(), static_cast<std::int64_t>(usable), &status);
        clusters->setText(&utext, status);
        if (U_FAILURE(status)) {
            std::fprintf(stderr, "icu_clusters: %s\n", u_errorName(status));
            return 1;
        }
        std::int32_t last = 0;
        for (std::int32_t boundary = clusters->next(); boundary != icu::BreakIterator::DONE;
             boundary = clusters->next()) {
            if (!ended && static_cast<std::size_t>(boundary) == usable)
                break;
            ++count;
            last = boundary;
        }
        text.erase(0, static_cast<std::size_t>(last));
    }
    utext_close(&utext);
    std::printf("%llu\n", static_cast<unsigned long long>(count));
    return 0;
}
