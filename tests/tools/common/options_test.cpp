// The shared command-line contract: integers, refusals, --help, the program's name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.hpp"

namespace {

TEST(Options, IntegersAreWholeDecimalWordsWithinTheirRange) {
    const struct {
        const char* text;
        tool::int_status status;
        long value;
    } cases[] = {
        {"7", tool::int_status::ok, 7},
        {"-10", tool::int_status::ok, -10},
        {"010", tool::int_status::ok, 10},  // decimal, not octal
        {"10", tool::int_status::ok, 10},
        {"11", tool::int_status::out_of_range, 0},
        {"-11", tool::int_status::out_of_range, 0},
        {"99999999999999999999", tool::int_status::out_of_range, 0},
        {"+5", tool::int_status::not_decimal, 0},
        {" 5", tool::int_status::not_decimal, 0},
        {"5 ", tool::int_status::not_decimal, 0},
        {"0x10", tool::int_status::not_decimal, 0},
        {"1e3", tool::int_status::not_decimal, 0},
        {"-", tool::int_status::not_decimal, 0},
        {"", tool::int_status::not_decimal, 0},
        {nullptr, tool::int_status::missing, 0},
    };
    for (const auto& c : cases) {
        long v = 0;
        EXPECT_EQ(tool::parse_int(c.text, -10, 10, v), c.status) << (c.text ? c.text : "null");
        EXPECT_EQ(v, c.value) << (c.text ? c.text : "null");
    }
}

TEST(Options, RefusalsNameTheProgramTheWordAndTheReasonThenTheUsage) {
    const char* const usage = "[--count N] [--fast]\n";
    const std::string use = std::string("usage: tool ") + usage;
    const struct {
        std::vector<const char*> args;
        int status;  // -1: parsed
        long count;
        std::string out, err;
    } cases[] = {
        {{"/usr/bin/tool", "--fast", "--count", "3"}, -1, 3, "", ""},
        {{"tool", "--count"}, 2, 0, "", "tool: --count: needs a value\n" + use},
        {{"tool", "--count", "3x"},
         2,
         0,
         "",
         "tool: --count: '3x' is not a decimal integer\n" + use},
        {{"tool", "--count", "100"}, 2, 0, "", "tool: --count: 100 is outside 0..99\n" + use},
        {{"./tool", "--slow", "--count", "x"}, 2, 0, "", "tool: --slow: unknown option\n" + use},
        {{"tool", "--help", "--slow"}, 0, 0, use, ""},
        {{}, -1, 0, "", ""},  // no argv[0]: the fallback name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        std::vector<char*> argv;
        for (const char* a : c.args) {
            argv.push_back(const_cast<char*>(a));
        }
        argv.push_back(nullptr);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        tool::command_line cl(static_cast<int>(c.args.size()), argv.data(), "fallback", usage);
        long count = 0;
        while (cl.more()) {
            if (!cl.flag("--fast") && !cl.integer("--count", 0, 99, count)) {
                cl.unknown();
            }
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(cl.stopped() ? cl.exit_status() : -1, c.status);
        EXPECT_EQ(count, c.count);
        EXPECT_STREQ(cl.name(), c.args.empty() ? "fallback" : "tool");
    }
}

}  // namespace
