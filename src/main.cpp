// pituus: tells how many characters a line of text holds.

#include "line.hpp"
#include "message.hpp"
#include "output.hpp"
#include "platform/keyboard.hpp"
#include "platform/terminal_encoding.hpp"

#include <cstdio>

int main()
{
    Output out(stdout);

    out.write_message(messages::banner);
    out.write_message(messages::prompt);
    out.flush(); // the prompt is on the screen, or in the pipe, before the read waits

    // Nobody can see a prompt that could not be written: no line is asked for.
    const LineLength line = out.error() == 0
                                ? read_line_length(platform::input_charset(), messages::prompt)
                                : LineLength{};
    write_result(out, line);
    out.flush();

    const bool failed = report_failures(line, out.error());
    platform::wait_for_key(); // also when something failed: it keeps a console window open
    return failed ? 1 : 0;
}
