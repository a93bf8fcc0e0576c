#include "metrics/ListenAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(ListenAddress, AcceptedFormsAndWhereTheyListen) {
    const std::pair<std::string, ListenAddress> cases[] = {
        {"9464", {"127.0.0.1", 9464, false}},
        {":9464", {"127.0.0.1", 9464, false}},
        {"localhost:9464", {"127.0.0.1", 9464, false}},
        {"127.0.0.1:1", {"127.0.0.1", 1, false}},
        {"127.1.2.3:65535", {"127.1.2.3", 65535, false}},
        {"0.0.0.0:9464", {"0.0.0.0", 9464, false}},
        {"192.0.2.7:80", {"192.0.2.7", 80, false}},
        {"[::1]:9464", {"::1", 9464, true}},
        {"[::]:9464", {"::", 9464, true}},
        {"[0:0:0:0:0:0:0:1]:9464", {"::1", 9464, true}},
    };
    for (const auto& [value, expected] : cases) {
        const auto parsed = ParseListen(value);
        ASSERT_TRUE(std::holds_alternative<ListenAddress>(parsed))
            << value << ": " << std::get<ListenError>(parsed).reason;
        EXPECT_EQ(std::get<ListenAddress>(parsed), expected) << value;
    }
    EXPECT_EQ(ToText({"127.0.0.1", 9464, false}), "127.0.0.1:9464");
    EXPECT_EQ(ToText({"::1", 9464, true}), "[::1]:9464");
}

TEST(ListenAddress, RefusedFormsSayWhy) {
    const std::pair<std::string, std::string> cases[] = {
        {"0", "the port must be a number from 1 to 65535"},
        {"65536", "the port must be a number from 1 to 65535"},
        {"123456", "the port must be a number from 1 to 65535"},
        {"-1", "the port must be a number from 1 to 65535"},
        {"+80", "the port must be a number from 1 to 65535"},
        {"0x50", "the port must be a number from 1 to 65535"},
        {"127.0.0.1:", "the port must be a number from 1 to 65535"},
        {"127.0.0.1", "the port must be a number from 1 to 65535"},
        {"127.0.0.1:94 64", "the port must be a number from 1 to 65535"},
        {"abc", "the port must be a number from 1 to 65535"},
        {"example.org:9464",
         "\"example.org\" is not a numeric IPv4 address (host names are not looked up)"},
        {"127.0.0.256:9464",
         "\"127.0.0.256\" is not a numeric IPv4 address (host names are not looked up)"},
        {"127.1:9464", "\"127.1\" is not a numeric IPv4 address (host names are not looked up)"},
        {"::1:9464", "an IPv6 address must be written in brackets, as [::1]:9464"},
        {"[::1:9464", "an IPv6 address needs its closing \"]\""},
        {"[::1]9464", "expected \":port\" after the address"},
        {"[::1]", "expected \":port\" after the address"},
        {"[nope]:9464", "\"nope\" is not an IPv6 address"},
        {"[127.0.0.1]:9464", "\"127.0.0.1\" is not an IPv6 address"},
    };
    for (const auto& [value, reason] : cases) {
        const auto parsed = ParseListen(value);
        ASSERT_TRUE(std::holds_alternative<ListenError>(parsed)) << value;
        EXPECT_EQ(std::get<ListenError>(parsed).reason, "Listen=" + value + ": " + reason);
    }
}

} // namespace
