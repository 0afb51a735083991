// The whole watchdog driven through its dialogue, as a user sets up a run:
// variables in the arguments, a finish condition on one of them, the setup
// saved, then the same run again from the saved file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "argv_record.h"
#include "posix/process_support.h"
#include "posix/watchdog_run_support.h"

namespace procguard {
namespace {

TEST(DialogueRun, VariablesReachTheTargetAndAVariableConditionEndsTheRun) {
    test::TempFolder work;
    const std::string records = work.path + "/records";
    const std::string counted = work.path + "/counted";
    std::filesystem::create_directory(records);
    std::filesystem::create_directory(counted);
    for (const char* name : {"a.png", "b.png", "c.txt"}) std::ofstream(counted + "/" + name) << name;
    const std::string recorder = test::copyTestProgram("argv_recorder", work.path);

    // Shared-line answers: "y 0 10" keeps <A>, makes it a restart count and
    // gives its base value; "y 1" keeps <F> as a file count, whose mask is
    // then read from the next line.
    const std::string typed = "1\n" + recorder + "\n" + records +
                              "/args<A>.txt -n <A> -m <A> -f <F>\n"
                              "y 0 10\n"
                              "y 1\n" +
                              counted +
                              "/*\n"
                              "0\n"
                              "50\n1000\n"
                              "3\n<A>\n12\n>\n"
                              "y\nsaved.ini\n";
    const test::WatchdogRun dialogue = test::runWatchdog(work.path, {}, typed, std::chrono::seconds(60));
    ASSERT_TRUE(dialogue.started);
    ASSERT_FALSE(dialogue.stillRunning) << dialogue.output;
    EXPECT_EQ(dialogue.exitCode, 0) << dialogue.output;
    EXPECT_NE(dialogue.output.find("Adjusting variable values:\n<A> : 11\n<F> : 5\nProcess restarted (1 runs).\n"),
              std::string::npos)
        << dialogue.output;
    EXPECT_NE(dialogue.output.find("<A> : 13\n<F> : 5\nProcess restarted (3 runs).\n"
                                   "All done now. Press any key to exit..."),
              std::string::npos)
        << dialogue.output;
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(records + "/args13.txt"); }));
    // "*" lists the three files and the folder's "." and "..".
    EXPECT_EQ(test::recordedArguments(test::readFile(records + "/args11.txt")),
              (std::vector<std::string>{"-n", "11", "-m", "11", "-f", "5"}));
    EXPECT_EQ(test::recordedArguments(test::readFile(records + "/args13.txt")),
              (std::vector<std::string>{"-n", "13", "-m", "13", "-f", "5"}));
    EXPECT_FALSE(std::filesystem::exists(records + "/args14.txt"));

    // The saved setup, loaded from the command line, runs the same way and
    // asks nothing.
    std::filesystem::remove_all(records);
    std::filesystem::create_directory(records);
    const test::WatchdogRun again =
        test::runWatchdog(work.path, {"saved.ini"}, "", std::chrono::seconds(60));
    ASSERT_FALSE(again.stillRunning) << again.output;
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(again.output.substr(0, 12), "Ready to go.") << again.output;
    EXPECT_EQ(test::fromReadyToGo(again.output), test::fromReadyToGo(dialogue.output));
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(records + "/args13.txt"); }));
    EXPECT_EQ(test::recordedArguments(test::readFile(records + "/args11.txt")),
              (std::vector<std::string>{"-n", "11", "-m", "11", "-f", "5"}));
}

} // namespace
} // namespace procguard
