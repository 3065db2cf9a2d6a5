// Unit tests of the client's request bytes, reply rendering and failure line.
#include "exchange.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace std::string_literals;

TEST(BuildRequest, TextThenZerosWhateverTheBufferHeld) {
    char msg[client::kMessageSize];
    std::memset(msg, 'w', sizeof msg);  // a long typed word
    client::build_request(msg);
    EXPECT_EQ(std::string(msg, 18), "2.300000 1.560000\0"s);
    for (std::size_t i = 18; i < sizeof msg; ++i) {
        ASSERT_EQ(msg[i], '\0') << "byte " << i;
    }
}

std::string render(const std::string& reply, std::size_t cap = client::kShownSize) {
    std::string out(cap, '#');
    const std::size_t n = client::render_reply(reply.data(), reply.size(), out.data(), cap);
    EXPECT_EQ(out[n], '\0');
    EXPECT_EQ(std::strlen(out.c_str()), n);
    return out.substr(0, n);
}

TEST(RenderReply, PrintableTextAsIs) {
    EXPECT_EQ(render("2.300000 1.560000"), "2.300000 1.560000");
    EXPECT_EQ(render(" ~AZaz09!"), " ~AZaz09!");
    EXPECT_EQ(render(""), "");
}

TEST(RenderReply, EscapesEverythingOutsidePrintableAscii) {
    EXPECT_EQ(render("a\\b"), "a\\\\b");
    EXPECT_EQ(render("\x01\t\n\r\x1f"), "\\x01\\x09\\x0a\\x0d\\x1f");
    EXPECT_EQ(render("\x7f\x80\xe9\xff"), "\\x7f\\x80\\xe9\\xff");
}

TEST(RenderReply, StopsAtFirstNulOrLength) {
    EXPECT_EQ(render("ok\0hidden"s), "ok");
    EXPECT_EQ(render("\0hidden"s), "");
    const char reply[] = {'a', 'b', 'c'};  // not terminated: the length is the end
    char out[16];
    EXPECT_EQ(client::render_reply(reply, 2, out, sizeof out), 2U);
    EXPECT_STREQ(out, "ab");
}

TEST(RenderReply, LongestReplyFullyEscapedFits) {
    const std::string reply(client::kReplyLimit, '\x01');
    std::string expected;
    for (std::size_t i = 0; i < reply.size(); ++i) {
        expected += "\\x01";
    }
    EXPECT_EQ(render(reply), expected);
}

TEST(RenderReply, SmallOutputCutsOnlyBetweenPieces) {
    EXPECT_EQ(render("abcdef", 4), "abc");
    EXPECT_EQ(render("a\x01z", 5), "a");  // "\x01" needs four places, three left
    EXPECT_EQ(render("a\x01z", 6), "a\\x01");
    EXPECT_EQ(render("\\\\", 4), "\\\\");
    EXPECT_EQ(render("abc", 1), "");
    char untouched = '#';
    EXPECT_EQ(client::render_reply("abc", 3, &untouched, 0), 0U);
    EXPECT_EQ(untouched, '#');
}

TEST(ReportFailure, NamesTheCallAndTheReason) {
    std::FILE* to = std::tmpfile();
    ASSERT_NE(to, nullptr);
    client::report_failure(to, "sendto", EPERM);
    std::rewind(to);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, to), nullptr);
    EXPECT_EQ(line, "client: sendto: "s + std::strerror(EPERM) + "\n");
    EXPECT_EQ(std::fgetc(to), EOF);
    std::fclose(to);
}

}  // namespace
