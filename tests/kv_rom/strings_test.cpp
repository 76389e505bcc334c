// String operations, number conversions, the log file and the directory creator.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "logfile.h"
#include "stringhelper.h"
#include "kvemu.h"
#include "scratch.h"

namespace {

std::string run_in_place(char *(*op)(char *), const std::string &in, bool *same_buffer = nullptr)
{
    char buf[64] = {};
    std::snprintf(buf, sizeof buf, "%s", in.c_str());
    char *r = op(buf);
    if (same_buffer)
        *same_buffer = (r == buf);
    return r;
}

struct Case {
    const char *in;
    const char *out;
};

TEST(EscapeUnprintable, EveryByteOutsidePrintableAsciiBecomesAnEscape)
{
    struct {
        const char *in;
        size_t room;
        const char *out;
    } cases[] = {
        {" ~\\x", 16, " ~\\x"},  // 20h and 7Eh stay; so does a backslash
        {"\x1F\x7F\x80\xFF\t", 32, "\\x1F\\x7F\\x80\\xFF\\x09"},
        {"AB\x01", 7, "AB\\x01"},  // room for the escape and the NUL
        {"AB\x01", 6, "AB"},       // an escape is never cut
        {"ABC", 3, "AB"},
        {"", 1, ""},
    };
    for (const auto &c : cases) {
        char out[64];
        std::memset(out, 'z', sizeof out);
        escape_unprintable(out, c.room, c.in);
        EXPECT_STREQ(out, c.out) << c.in << " in " << c.room;
        EXPECT_EQ(out[c.room], 'z') << "wrote past the room";
    }
}

TEST(Trim, StripsOnlySpacesAtBothEnds)
{
    const Case cases[] = {
        {"  KV  DRIVE  ", "KV  DRIVE"}, {"\tKV ", "\tKV"},  // a tab is no blank here
        {"KV\r\n", "KV\r\n"},           {"   ", ""},       {"x", "x"}, {" x", "x"}, {"x ", "x"},
    };
    for (const Case &c : cases) {
        bool same = false;
        EXPECT_EQ(run_in_place(trim, c.in, &same), c.out) << "input [" << c.in << "]";
        EXPECT_TRUE(same) << "input [" << c.in << "]";
    }
}

TEST(Trim, EmptyTextGivesStaticEmptyString)
{
    char a[4] = "";
    char b[4] = "";
    char *ra = trim(a);
    EXPECT_NE(ra, a);
    EXPECT_STREQ(ra, "");
    ra[0] = 'Z';  // a careless caller must not poison the next result
    EXPECT_STREQ(trim(b), "");
}

TEST(Upper, ChangesOnlyAsciiLowerCase)
{
    const Case cases[] = {
        {"ultrium-5 hh", "ULTRIUM-5 HH"},
        {"Rqn512", "RQN512"},
        {"\xe9\xff-09", "\xe9\xff-09"},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(run_in_place(upper, c.in), c.out) << "input [" << c.in << "]";
}

TEST(Alphanumeric, KeepsOnlyAsciiLettersAndDigits)
{
    const Case cases[] = {
        {"A-B 1.0", "AB10"}, {"k-v", "kv"}, {" K V ", "KV"}, {"\xc4\xe9KV\x7f", "KV"}, {"-- ..", ""}, {"", ""},
    };
    for (const Case &c : cases) {
        bool same = false;
        EXPECT_EQ(run_in_place(alphanumeric, c.in, &same), c.out) << "input [" << c.in << "]";
        EXPECT_TRUE(same);
    }
}

TEST(Conversions, HexValue)
{
    const struct {
        const char *in;
        u_int32 out;
    } cases[] = {
        // clang-format off
        {"1A2B", 0x1A2B}, {"  0x1a2b", 0x1A2B}, {"0X00C0FFEE|", 0xC0FFEE},
        {"12G4", 0x12},   {"G", 0},             {"", 0},
        {"0x", 0},        {"123456789", 0xFFFFFFFFu}, {"-1", 0xFFFFFFFFu},
        // clang-format on
    };
    for (const auto &c : cases)
        EXPECT_EQ(hex_value(c.in), c.out) << "input [" << c.in << "]";
    EXPECT_EQ(hex_value(nullptr), 0u);
}

TEST(Conversions, DecimalValueIsTheStandardConversion)
{
    const struct {
        const char *in;
        double out;
    } cases[] = {
        {"2.50", 2.5},  {" 2.5 ", 2.5},    {".5", 0.5},         {"-1.25", -1.25}, {"3", 3.0},
        {"1.2.3", 1.2}, {"V2", 0.0},       {"", 0.0},           {".", 0.0},       {"0x1P3", 8.0},
        {"B5E1", 0.0},  {"INF", HUGE_VAL}, {"1e999", HUGE_VAL},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(decimal_value(c.in), c.out) << "input [" << c.in << "]";
    EXPECT_TRUE(std::isnan(decimal_value("NAN")));
    EXPECT_DOUBLE_EQ(decimal_value(nullptr), 0.0);
}

TEST(Conversions, IntValue)
{
    const struct {
        const char *in;
        int out;
    } cases[] = {
        // clang-format off
        {"3", 3}, {" 12 ", 12}, {"+7x", 7}, {"-2", -2}, {"abc", 0}, {"", 0},
        {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1},
        // clang-format on
    };
    for (const auto &c : cases)
        EXPECT_EQ(int_value(c.in), c.out) << "input [" << c.in << "]";
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvemu::load_bus_text("");  // the redirect acts only while a bus is loaded
        // Prove the interposer is in place on a harmless path before any _log
        // call could reach the machine's real log file.
        std::string probe = dir_ + "/probe";
        kvemu::redirect_path("/nonexistent-kv-dir/redirect-probe", probe);
        FILE *fp = std::fopen("/nonexistent-kv-dir/redirect-probe", "w");
        ASSERT_NE(fp, nullptr) << "file redirection is not active";
        std::fclose(fp);
        kvemu::redirect_path("/nonexistent-kv-dir/redirect-probe", "");
        kvemu::redirect_path("/var/vxt/Component.log", path_);
    }
    void TearDown() override
    {
        kvemu::redirect_path("/var/vxt/Component.log", "");
        kvemu::unload_bus();
    }
    std::string contents() const { return scratch::read_file(path_); }
    scratch::Dir scratch_{false};
    const std::string dir_ = scratch_.path();
    const std::string path_ = dir_ + "/Component.log";
};

TEST_F(LogFile, AppendsMessagesUnchanged)
{
    EXPECT_STREQ(logfile, "/var/vxt/Component.log");
    testing::internal::CaptureStdout();
    _log("first %s %d\n");
    _log("");
    _log("no newline");
    _logline();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(contents(), "first %s %d\nno newline==============================================\n");
}

TEST_F(LogFile, EmptyMessageCreatesTheFile)
{
    _log("");
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

TEST_F(LogFile, UnopenableFileIsReportedOnConsole)
{
    kvemu::redirect_path("/var/vxt/Component.log", dir_ + "/missing/Component.log");
    testing::internal::CaptureStdout();
    _log("lost");
    _log("");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unable to open and write to log file.\nUnable to open and write to log file.\n");
}

// A full disk takes the open and refuses the bytes: each message lost says so
// once, like one that found no file; an empty message loses nothing.
TEST_F(LogFile, AMessageTheDiskRefusesIsReportedOnConsole)
{
    kvemu::redirect_path("/var/vxt/Component.log", "/dev/full");
    testing::internal::CaptureStdout();
    _log("lost\n");
    _log("");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open and write to log file.\n");
}

TEST_F(LogFile, AFifoWithoutReaderIsReportedNotWaitedFor)
{
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    testing::internal::CaptureStdout();
    alarm(60);  // a writer that blocks ends the test program, not the run
    _log("lost");
    alarm(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open and write to log file.\n");
}

TEST_F(LogFile, CreateDirectory)
{
    std::string made = dir_ + "/xml";
    testing::internal::CaptureStdout();
    EXPECT_EQ(create_directory(made.c_str()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Created Dir : " + made + "\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(create_directory(made.c_str()), 1);  // exists: silent
    std::string deep = dir_ + "/no/such";
    EXPECT_EQ(create_directory(deep.c_str()), -1);  // parent is not created
    EXPECT_EQ(create_directory(""), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    struct stat st {};
    EXPECT_NE(stat(deep.c_str(), &st), 0);
}

}  // namespace
