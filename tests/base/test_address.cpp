// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The one scheme rule: what opening, the link check and the export all take a web item's target for.
TEST(WebAddressOf, ReadsHostAndPortAndDrivesAsNoSchemeAndKeepsRealSchemes)
{
    struct Case {
        std::string target;
        std::string scheme;
        std::string address;
    };
    const std::vector<Case> cases = {
        {"localhost:3000?q=1", "", "http://localhost:3000?q=1"},
        {"localhost:3000", "", "http://localhost:3000"},
        {"example.com:8080/x#top", "", "http://example.com:8080/x#top"},
        {"localhost:3000/a", "", "http://localhost:3000/a"},
        {"example.com/a", "", "http://example.com/a"},
        {"C:\\notes.txt", "", "http://C:\\notes.txt"},
        {" HTTPS://Example.com/ ", "https", "HTTPS://Example.com/"},
        {"mailto:ann@example.com", "mailto", "mailto:ann@example.com"},
        {"news:comp.lang", "news", "news:comp.lang"},
        {"svn+ssh://host:22/repo", "svn+ssh", "svn+ssh://host:22/repo"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(targetScheme(c.target), c.scheme) << c.target;
        EXPECT_EQ(webAddressOf(c.target, 1), c.address) << c.target;
    }
    EXPECT_EQ(webAddressOf(" /home/a.txt", 0), "/home/a.txt") << "a file item's target is its path";
    EXPECT_EQ(addressScheme("localhost:3000"), "localhost") << "a browser handed the text reads a scheme";
    EXPECT_TRUE(isScriptAddress("javascript:0")) << "no port rule spares a script address";
}
