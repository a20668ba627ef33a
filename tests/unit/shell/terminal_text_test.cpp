#include "shell/terminal_text.h"

#include <gtest/gtest.h>

namespace {

TEST(TerminalSafe, ControlCharactersBecomeVisibleEscapesOtherTextStays) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"DS-100", "DS-100"},
      {"", ""},
      {"\x1b[2J\x1b]0;owned\x07", "\\e[2J\\e]0;owned\\x07"},
      {"a\nb\rc\td", "a\\nb\\rc\\td"},
      {std::string("x\0y", 3), "x\\x00y"},
      {"\x7f", "\\x7F"},
      {"\xc2\x9b"
       "31m",
       "\\u009B31m"},                          // the one-byte control sequence introducer
      {"\xc2\x80\xc2\x9f", "\\u0080\\u009F"},  // both ends of the C1 range
      {"T\xc3\xbcr \xc2\xa0\xe2\x80\xa6", "T\xc3\xbcr \xc2\xa0\xe2\x80\xa6"},  // ü, nbsp, …
      {"C:\\dir", "C:\\\\dir"},
      {"\xc2", "\xc2"},  // a cut sequence is left to the terminal's replacement
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalSafe(c.in), c.out) << c.out;
}

}  // namespace
