// The whole watchdog driven through its dialogue, as a user sets up a run:
// variables in the arguments, a finish condition on one of them, the setup
// saved; then the saved file, loaded from the command line, runs the same
// way and asks nothing. Each platform runs it with its own way of starting
// the watchdog unattended.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "argv_record.h"
#include "test_support.h"

namespace procguard::test {

struct WatchdogOutcome {
    bool ended = false; // by itself, within its time limit
    int exitCode = -1;
    std::string output;
};

// Runs the watchdog unattended, with `input` as its whole console input and
// `config` (if not empty) as its command-line argument, for up to a minute.
using WatchdogRunner = std::function<WatchdogOutcome(const std::string& input, const std::string& config)>;

// `folder` is empty; `recorder` is the argv_recorder test program, at a path
// no other running process has.
inline void checkDialogueRunAndItsSavedFile(const std::filesystem::path& folder, const std::filesystem::path& recorder,
                                            const WatchdogRunner& runWatchdog) {
    namespace fs = std::filesystem;
    const fs::path records = folder / "records";
    const fs::path counted = folder / "counted";
    fs::create_directory(records);
    fs::create_directory(counted);
    for (const char* name : {"a.png", "b.png", "c.txt"}) std::ofstream(counted / name) << name;
    const std::string saved = (folder / "saved.ini").string();
    const auto recorded = [&](const char* name) { return recordedArguments(readFile(records / name)); };
    const auto recordedThirdRun = [&] { return waitUntil([&] { return fs::exists(records / "args13.txt"); }); };

    // Shared-line answers: "y 0 10" keeps <A>, makes it a restart count and
    // gives its base value; "y 1" keeps <F> as a file count, whose mask is
    // then read from the next line. Paths are pasted in quotes; the first
    // save goes to a missing folder, so the question comes again.
    const std::string unsaved = (folder / "missing" / "saved.ini").string();
    const std::string typed = "1\n\"" + recorder.string() + "\"\n" + (records / "args<A>.txt").string() +
                              " -n <A> -m <A> -f <F>\n"
                              "y 0 10\n"
                              "y 1\n\"" +
                              (counted / "*").string() +
                              "\"\n"
                              "0\n"
                              "50\n1000\n"
                              "3\n<A>\n12\n>\n"
                              "y\n" +
                              unsaved + "\ny\n\"" + saved + "\"\n";
    const WatchdogOutcome dialogue = runWatchdog(typed, "");
    ASSERT_TRUE(dialogue.ended) << dialogue.output;
    EXPECT_EQ(dialogue.exitCode, 0) << dialogue.output;
    EXPECT_TRUE(inOrder(dialogue.output, {"could not be saved to " + unsaved + ": ", "(y/n)\n", "Ready to go."}))
        << dialogue.output;
    EXPECT_TRUE(
        contains(dialogue.output, "Adjusting variable values:\n<A> : 11\n<F> : 5\nProcess restarted (1 runs).\n"))
        << dialogue.output;
    EXPECT_TRUE(contains(dialogue.output, "<A> : 13\n<F> : 5\nProcess restarted (3 runs).\n"
                                          "All done now. Press any key to exit..."))
        << dialogue.output;
    ASSERT_TRUE(recordedThirdRun());
    // "*" lists the three files and the folder's "." and "..".
    EXPECT_EQ(recorded("args11.txt"), (std::vector<std::string>{"-n", "11", "-m", "11", "-f", "5"}));
    EXPECT_EQ(recorded("args13.txt"), (std::vector<std::string>{"-n", "13", "-m", "13", "-f", "5"}));
    EXPECT_FALSE(fs::exists(records / "args14.txt"));

    fs::remove_all(records);
    fs::create_directory(records);
    const WatchdogOutcome again = runWatchdog("", saved);
    ASSERT_TRUE(again.ended) << again.output;
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(again.output.substr(0, 12), "Ready to go.") << again.output;
    EXPECT_EQ(fromReadyToGo(again.output), fromReadyToGo(dialogue.output));
    ASSERT_TRUE(recordedThirdRun());
    EXPECT_EQ(recorded("args11.txt"), (std::vector<std::string>{"-n", "11", "-m", "11", "-f", "5"}));
}

} // namespace procguard::test
