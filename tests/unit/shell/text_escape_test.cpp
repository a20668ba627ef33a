#include "shell/text_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What a device sends must reach a terminal or a log line as visible text, never as a control
// that moves the cursor, recolours or retitles the terminal, or splits the line.
TEST(TextEscape, ControlCharactersBecomeVisible) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"Door 1-0101", "Door 1-0101"},
      {"", ""},
      {"a\x1b]0;title\x07", "a\\x1B]0;title\\x07"},  // retitle sequence
      {"line\r\nbreak\x7f", "line\\r\\nbreak\\x7F"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"tab\tstays", "tab\tstays"},
      {"\xc2\x9b"
       "31m",
       "\\x9B31m"},                                      // C1 control sequence introducer
      {"\xc2\x80\xc2\x9f", "\\x80\\x9F"},                // both ends of the C1 range
      {"caf\xc3\xa9 \xc2\xa0", "caf\xc3\xa9 \xc2\xa0"},  // letters and a no-break space stay
      {"cut\xc2", "cut\xc2"},                            // a lead byte at the end is no control
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControlChars(c.in), c.out) << c.out;
}

}  // namespace
