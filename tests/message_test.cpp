#include "message.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(Messages, Utf8TerminalGetsEachLetterAsUtf8)
{
    EXPECT_EQ(render(messages::banner, utf8_letters()).view(),
              "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkkiä)\n\n");
    EXPECT_EQ(render(messages::read_failed, utf8_letters()).view(),
              "pituus: syötteen lukeminen epäonnistui: ");
}

TEST(Messages, CountIsPlainDecimalWithoutGroupingAndNeverWraps)
{
    const Letters console = code_page_850_letters();
    EXPECT_EQ(render(messages::result_line, console, 0).view(), "Tekstin mitta on 0 merkki\x84.\n");
    EXPECT_EQ(render(messages::result_line, console, 4294967296U).view(),
              "Tekstin mitta on 4294967296 merkki\x84.\n");
    EXPECT_EQ(
        render(messages::result_line, utf8_letters(), std::numeric_limits<std::uint64_t>::max())
            .view(),
        "Tekstin mitta on 18446744073709551615 merkkiä.\n");
}

} // namespace
