// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(TrimControl, StripsBlanksAndControlCharactersAtBothEndsOnly)
{
    EXPECT_EQ(trimControl(" \t\r\n\x01 a b\x1f \x7f \x1f\v "), "a b\x1f \x7f");
    EXPECT_EQ(trimControl(std::string("\0x\0", 3)), "x");
    EXPECT_EQ(trimControl("\x20\x21\x20"), "!");
    EXPECT_EQ(trimControl(" \t\x1f"), "");
    EXPECT_EQ(trimControl(""), "");
    EXPECT_EQ(trimControl("caf\xC3\xA9 "), "caf\xC3\xA9") << "bytes of UTF-8 sequences are above 32";
}
