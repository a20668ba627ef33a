#include "core/common/mac_text.h"

#include <gtest/gtest.h>

// The window shows every MAC in one spelling; a text that is no MAC is shown as the device sent
// it, never made to look like one.
TEST(MacText, DisplaySpellingIsUpperCaseWithColons) {
  const struct {
    const char* in;
    const char* shown;
  } cases[] = {
      {"021A2B000001", "02:1A:2B:00:00:01"},      {"02:1a:2b:00:00:02", "02:1A:2B:00:00:02"},
      {"02-1A-2B-00-00-0D", "02:1A:2B:00:00:0D"}, {"021a2b00000c", "02:1A:2B:00:00:0C"},
      {"02:1A:2B:00:00", "02:1A:2B:00:00"},       {"not a mac!!!", "not a mac!!!"},
      {"02:1A:2B:00:00:0G", "02:1A:2B:00:00:0G"}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayMacText(c.in), c.shown) << c.in;
}
