// The life of the real gnatter as a user or a script sees it: --stop, a second start
// taking over from the first, the timeout, and the exit statuses with their messages for
// bad options, --help and --version, and a missing or lost X display.
#include "x11_harness.h"

using namespace x11test;

namespace {

class FlyLifeTest : public X11Test {
protected:
    Child& startFlies(std::size_t count) {
        Child& flies = start(gnatter({"-n", std::to_string(count), "-t", "0"}));
        EXPECT_TRUE(waitFor(5, [&] { return shownFlies().size() == count; })) << shownFlies().size() << " flies shown";
        return flies;
    }
};

// A message is one line on standard error that names the program.
void expectOneSentence(const std::string& err) {
    EXPECT_EQ(0u, err.rfind("gnatter: ", 0)) << err;
    EXPECT_EQ(err.size() - 1, err.find('\n')) << err;
}

// --stop ends the program; a second start makes the first one end while its own flies
// stay; and they stay until their time is up.
TEST_F(FlyLifeTest, StopASecondStartAndTheTimeoutEndTheProgram) {
    startServer();
    Child& stopped = startFlies(2);
    ASSERT_EQ(0, run(gnatter({"--stop"})));
    EXPECT_EQ(0, stopped.wait(2.5)) << "exit status after --stop (-1: still running)";
    Child& first = startFlies(2);
    const Clock::time_point secondStart = Clock::now();
    Child& second = start(gnatter({"-n", "3", "-t", "3"}));
    EXPECT_EQ(0, first.wait(2.5)) << "the first program's exit status when a second started (-1: still running)";
    EXPECT_TRUE(waitFor(1, [&] { return shownFlies().size() == 3; }))
        << shownFlies().size() << " of the second program's 3 flies shown";
    EXPECT_EQ(0, second.wait(5)) << "exit status after -t 3 (-1: still running)";
    EXPECT_GE(secondsSince(secondStart), 3.0);
}

TEST_F(FlyLifeTest, BadOptionsExitTwoAndHelpAndVersionZero) {
    for (std::vector<std::string> options : std::vector<std::vector<std::string>>{
             {"-n", "0"}, {"--bogus"}, {"-s"}, {"-n5"}, {"--swatting", "maybe"}}) {
        Child& program = start(gnatter(options));
        EXPECT_EQ(2, program.wait(5)) << ::testing::PrintToString(options);
        EXPECT_EQ("", program.out());
        const std::string err = program.err(), hint = "Try 'gnatter --help' for the options.\n";
        ASSERT_GT(err.size(), hint.size()) << err;
        EXPECT_EQ(hint, err.substr(err.size() - hint.size()));
        expectOneSentence(err.substr(0, err.size() - hint.size()));
    }
    Child& help = start(gnatter({"--help"}));
    EXPECT_EQ(0, help.wait(5));
    EXPECT_EQ("", help.err());
    EXPECT_EQ(0u, help.out().rfind("Usage: gnatter [options]\n", 0)) << help.out();
    for (const char* option : {"-n COUNT", "-t SECONDS", "-s PIXELS", "-v PERCENT", "--seed N", "--no-swat",
                               "--stop", "--swatting on|off", "--version", "--help"}) {
        EXPECT_NE(std::string::npos, help.out().find(option)) << option << " is missing from the usage";
    }
    Child& version = start(gnatter({"--version"}));
    EXPECT_EQ(0, version.wait(5));
    EXPECT_EQ("gnatter " GNATTER_VERSION "\n", version.out());
}

TEST_F(FlyLifeTest, WithoutADisplayOrWhenItGoesAwayTheProgramExitsOne) {
    Child& unset = start(gnatter({}));  // before startServer(): no DISPLAY
    EXPECT_EQ(1, unset.wait(5));
    expectOneSentence(unset.err());
    EXPECT_NE(std::string::npos, unset.err().find("DISPLAY")) << unset.err();

    int number = 900;
    while (access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0) ++number;
    Child missing(gnatter({}), ":" + std::to_string(number));
    EXPECT_EQ(1, missing.wait(5));
    expectOneSentence(missing.err());
    EXPECT_NE(std::string::npos, missing.err().find(":" + std::to_string(number))) << missing.err();

    startServer();
    Child& flies = startFlies(3);
    server_->stop();
    EXPECT_EQ(1, flies.wait(5)) << "exit status (-1: still running; over 128: a signal ended it)";
    expectOneSentence(flies.err());
}

}  // namespace
