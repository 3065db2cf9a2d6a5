// Unit tests of the reply as the client shows it; the request and the failure line are checked end
// to end (client_e2e_test).
#include "exchange.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

using namespace std::string_literals;

TEST(RenderReply, EscapesStopsAtNulAndCutsOnlyBetweenPieces) {
    std::string all_escaped;  // the longest reply, every byte escaped, still fits
    for (std::size_t i = 0; i < client::kReplyLimit; ++i) {
        all_escaped += "\\x01";
    }
    const struct {
        std::string reply;
        std::string shown;
        std::size_t cap = client::kShownSize;
    } cases[] = {
        {" ~AZaz09!", " ~AZaz09!"},
        {"", ""},
        {"a\\b", "a\\\\b"},
        {"\x01\t\n\r\x1f", "\\x01\\x09\\x0a\\x0d\\x1f"},
        {"\x7f\x80\xe9\xff", "\\x7f\\x80\\xe9\\xff"},
        {"ok\0hidden"s, "ok"},
        {"\0hidden"s, ""},
        {std::string(client::kReplyLimit, '\x01'), all_escaped},
        {"abcdef", "abc", 4},
        {"a\x01z", "a", 5},  // "\x01" needs four places, three left
        {"a\x01z", "a\\x01", 6},
        {"\\\\", "\\\\", 4},
        {"abc", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        std::string out(c.cap, '#');
        const std::size_t n =
            client::render_reply(c.reply.data(), c.reply.size(), out.data(), c.cap);
        EXPECT_EQ(out.c_str(), c.shown);
        EXPECT_EQ(n, c.shown.size());
    }
    const char unterminated[] = {'a', 'b', 'c'};  // the length is the end
    char out[16];
    EXPECT_EQ(client::render_reply(unterminated, 2, out, sizeof out), 2U);
    EXPECT_STREQ(out, "ab");
    char untouched = '#';
    EXPECT_EQ(client::render_reply("abc", 3, &untouched, 0), 0U);
    EXPECT_EQ(untouched, '#');
}

}  // namespace
