// A catalogue of bad input, each case run through the real executable on
// real files and processes: config files that are garbage or incomplete,
// places that cannot be read or written, targets that cannot start or do
// not behave, and console input that stops in the middle of a question.
// Each case ends with the documented default or a message that names the
// problem, and never with a crash or a hang.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "argv_record.h"
#include "app/exit_codes.h"
#include "posix/process_support.h"
#include "config_text.h"
#include "posix/watchdog_run_support.h"

namespace procguard {
namespace {

using namespace std::chrono_literals;
using test::WatchdogRun;

const std::string kReady = "Ready to go. Press any key to start process surveillance.\n"
                           "Surveillance started. You may relax now, have a nice day!\n";
const std::string kDone = "All done now. Press any key to exit...";
const std::string kUsage = "Usage: procguard [--events FILE] [--no-wait] [config-file]\n";
const std::string kRaisedPeriod = "A check period of 0 ms would keep a processor busy; checking every 10 ms instead.\n";
const std::string kBigEndian("\xFE\xFF\0[\0m", 6);
const std::string kInputEnded = "\nThe console input ended before the setup was complete; nothing to watch.\n";

using test::contains;
using test::occurrences;

// Bytes of any value but the ones listed, the same on every run.
std::string garbage(std::size_t size, const std::string& without) {
    std::string bytes;
    std::uint32_t state = 20240611;
    while (bytes.size() < size) {
        state = state * 1664525u + 1013904223u;
        const char c = static_cast<char>(state >> 24);
        if (without.find(c) == std::string::npos) bytes.push_back(c);
    }
    return bytes;
}

// The [main] and [finishCondition] keys of a run that checks without pause
// and ends after `restarts` restarts.
std::string runConfig(const std::string& target, const std::string& parameters = "", int restarts = 2,
                      const std::string& variables = "0") {
    return test::configText({.processName = target,
                             .commandParams = parameters,
                             .checkPeriod = 0,
                             .responseTimeout = 1000,
                             .finishType = 2,
                             .finishCount = restarts,
                             .variableCount = variables});
}

class BadInputRun : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.path.empty()); }

    std::string pathOf(const std::string& name) const { return folder.path + "/" + name; }
    std::string program(const std::string& name) { return test::copyTestProgram(name, folder.path); }

    // Runs the watchdog on a config file holding `text`.
    WatchdogRun watch(const std::string& text, std::chrono::milliseconds limit = 20s,
                      const std::function<void(pid_t)>& whileRunning = {}) {
        test::writeBytes(pathOf("run.ini"), text);
        return test::runWatchdog(folder.path, {"run.ini"}, "", limit, whileRunning);
    }
    WatchdogRun type(const std::string& input, std::chrono::milliseconds limit = 20s) {
        return test::runWatchdog(folder.path, {}, input, limit);
    }

    // Keys to close [main] with: a file-count variable over a folder of its
    // own, which every check counts, so that the test can wait for checks.
    std::string countedVariable() {
        std::filesystem::create_directory(pathOf("counted"));
        return "variables=1\n[variable0]\ntype=1\nname=<C>\ndata=" + pathOf("counted") + "/*\n";
    }
    // While the watchdog runs: waits for 20 of its checks, then calls `sample`.
    std::function<void(pid_t)> afterChecks(const std::function<void(pid_t)>& sample) {
        return [this, sample](pid_t watchdog) {
            test::CheckCounter counter(pathOf("counted"));
            EXPECT_TRUE(counter.waitForChecks(20)) << test::watchdogOutput(folder.path);
            sample(watchdog);
        };
    }

    // The arguments argv_recorder wrote to `file`, without its own path.
    std::vector<std::string> recorded(const std::string& file) {
        test::waitUntil([&] { return std::filesystem::exists(file); }, 5s);
        std::vector<std::string> arguments = test::recordedWords(test::readFile(file));
        if (!arguments.empty()) arguments.erase(arguments.begin());
        return arguments;
    }

    test::TempFolder folder;
};

TEST_F(BadInputRun, ConfigsThatCannotBeUsedStopWithTheirReason) {
    std::filesystem::create_directory(pathOf("adir"));
    ASSERT_EQ(mkfifo(pathOf("fifo").c_str(), 0644), 0);
    test::writeBytes(pathOf("negative.ini"), "[main]\nprocessName=/bin/true\nvariables=-1\n");
    test::writeBytes(pathOf("huge.ini"), "[main]\nprocessName=/bin/true\nvariables=10001\n");
    // Encodings are told by their byte-order marks; what follows is "[m".
    test::writeBytes(pathOf("be.ini"), kBigEndian);
    test::writeBytes(pathOf("utf32.ini"), std::string("\xFF\xFE\0\0[\0\0\0m\0\0\0", 12));
    test::writeBytes(pathOf("odd.ini"), std::string("\xFF\xFE[\0m", 5));
    test::writeBytes(pathOf("lone.ini"), std::string("\xFF\xFE[\0\0\xD8m\0", 8));
    test::writeBytes(pathOf("empty_target.ini"), "[main]\nprocessName=\ncheckPeriod=0\n");
    // No header at all: without the refusal it would run on the defaults,
    // reporting a failed start every ten seconds, forever.
    test::writeBytes(pathOf("garbage.ini"), garbage(65536, "["));
    const auto countMessage = [&](const std::string& name, const std::string& count) {
        return "Config file " + pathOf(name) + " gives " + count +
               " variables; the number must lie between 0 and 10000. No variables were loaded.\n";
    };
    const auto unreadable = [&](const std::string& name, const std::string& reason) {
        return "Cannot read config file " + pathOf(name) + ": " + reason + "\n";
    };
    const std::string refused = " text, which procguard cannot read (it reads UTF-8 and UTF-16LE)";
    const std::string noTarget = " names no target: ";
    const struct {
        std::string argument;
        std::string message;
        bool usage; // only where the name may be wrong
    } cases[] = {
        {"missing.ini", unreadable("missing.ini", "No such file or directory"), true},
        {"adir", unreadable("adir", "Is a directory"), true},
        {"fifo", unreadable("fifo", "Not a regular file"), true},                       // and no hang
        {"/dev/zero", "Cannot read config file /dev/zero: Not a regular file\n", true}, // endless bytes
        {"be.ini", unreadable("be.ini", "it is UTF-16BE" + refused), true},
        {"utf32.ini", unreadable("utf32.ini", "it is UTF-32LE" + refused), true},
        {"odd.ini", unreadable("odd.ini", "it is not valid UTF-16LE text: an odd number of bytes"), true},
        {"lone.ini", unreadable("lone.ini", "it is not valid UTF-16LE text: a lone surrogate at byte 4"), true},
        {"negative.ini", countMessage("negative.ini", "-1"), false},
        {"huge.ini", countMessage("huge.ini", "10001"), false},
        {"empty_target.ini",
         "Config file " + pathOf("empty_target.ini") + noTarget +
             "its [main] section has no processName, or an empty one.\n",
         false},
        {"garbage.ini",
         "Config file " + pathOf("garbage.ini") + noTarget + "it has no [main] section with a processName.\n", false},
    };
    for (const auto& c : cases) {
        const WatchdogRun run = test::runWatchdog(folder.path, {c.argument}, "", 10s);
        EXPECT_EQ(run.exitCode, kExitBadConfig) << c.argument;
        EXPECT_EQ(run.output, c.message + (c.usage ? kUsage : "")) << c.argument;
    }
}

TEST_F(BadInputRun, GarbageAndNulBytesAroundTheKeysAreSkipped) {
    const std::string target = program("exit_at_once");
    // Lines of binary garbage (NUL bytes, invalid UTF-8, control characters)
    // that are neither headers nor keys, a garbage section holding a wrong
    // target, and garbage at the end without a line break.
    const auto line = [](std::size_t size) { return garbage(size, "\n\r[=") + "\n"; };
    const std::string text = line(300) + "[\xff\xfe garbage \x01]\nprocessName=/nonexistent\n" + line(50) + "[main]\n" +
                             line(80) + "processName=" + target + "\n" + std::string(7, '\0') + "\n" +
                             "checkPeriod=0\n\xef\xbb\xbf\xc0\x80\n[finishCondition]\n" + line(10) +
                             "type=2\ndataInt=2\n" + garbage(100, "\n\r[=");
    const WatchdogRun run = watch(text);
    EXPECT_EQ(run.exitCode, kExitFinished) << run.output;
    EXPECT_TRUE(contains(run.output, "Process restarted (2 runs).\n" + kDone)) << run.output;
    EXPECT_FALSE(contains(run.output, "Failed")) << run.output;
}

TEST_F(BadInputRun, AFileWithOnlyATargetRunsOnTheDefaults) {
    // Garbage, and a target that is missing, but no periods and no
    // [finishCondition]. The first check, which tries to start the target,
    // comes after the default check period of 10 s (and not after the 30 s
    // of the response timeout); the run never ends by itself.
    const std::string firstCheck =
        "Failed to restart process (1 runs): " + pathOf("missing") + ": No such file or directory\n";
    const auto started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration untilFirstCheck{};
    const WatchdogRun run =
        watch(garbage(65536, "[") + "\n[main]\nprocessName=" + pathOf("missing") + "\n", 60s, [&](pid_t) {
            test::waitUntil([&] { return contains(test::watchdogOutput(folder.path), firstCheck); }, 40s);
            untilFirstCheck = std::chrono::steady_clock::now() - started;
        });
    EXPECT_TRUE(run.stillRunning) << run.output;
    EXPECT_EQ(run.output, kReady + "Process not running, restarting...\n" + firstCheck);
    EXPECT_GE(untilFirstCheck, 10s);
    EXPECT_LT(untilFirstCheck, 30s);
}

TEST_F(BadInputRun, MissingSectionsTakeTheirDefaults) {
    // "variables" promises three sections and there are none: three
    // variables with an empty name, left out of the substitution.
    const std::string recorder = program("argv_recorder");
    const std::string out = pathOf("args");
    const WatchdogRun run = watch(runConfig(recorder, out + " x <A>", 1, "3"));
    EXPECT_EQ(run.exitCode, kExitFinished) << run.output;
    EXPECT_TRUE(contains(run.output, "Adjusting variable values:\n : 1\n : 1\n : 1\nProcess restarted (1 runs).\n"))
        << run.output;
    EXPECT_EQ(recorded(out), (std::vector<std::string>{out, "x", "<A>"}));

    // No [finishCondition]: the run never ends; a target that stays up is
    // started once and then left alone; its period of 0 is raised to 10 ms.
    const std::string sleeper = program("idle_sleeper");
    std::size_t instances = 0;
    const auto since = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration twentyChecks{};
    const WatchdogRun endless =
        watch("[main]\nprocessName=" + sleeper + "\ncommandParams=30\ncheckPeriod=0\n" + countedVariable(), 20s,
              afterChecks([&](pid_t) {
                  twentyChecks = std::chrono::steady_clock::now() - since;
                  instances = test::runningInstancesOf(sleeper).size();
              }));
    test::killInstancesOf(sleeper);
    EXPECT_TRUE(endless.stillRunning) << endless.output;
    EXPECT_EQ(occurrences(endless.output, "Process restarted ("), 1u) << endless.output;
    EXPECT_EQ(instances, 1u);
    EXPECT_TRUE(endless.output.starts_with(kRaisedPeriod + kReady)) << endless.output;
    EXPECT_GE(twentyChecks, 19 * 9ms);
}

TEST_F(BadInputRun, NegativeAndHugeNumbersKeepTheirDocumentedMeaning) {
    const std::string recorder = program("argv_recorder");
    const std::string out = pathOf("args");
    // Base values at both ends of the 32-bit range wrap at the first restart;
    // a response timeout past the range takes its default; a negative
    // maximum of restarts ends the run after its first check.
    const WatchdogRun run = watch("[main]\nprocessName=" + recorder + "\ncommandParams=" + out +
                                  " <Max> <Min>\ncheckPeriod=+0\nresponseTimeout=99999999999\nvariables=2\n"
                                  "[finishCondition]\ntype=2\ndataInt=-5\n"
                                  "[variable0]\nname=<Max>\nbaseValue=2147483647\n"
                                  "[variable1]\nname=<Min>\ntype=0\nbaseValue=-2147483648\n");
    EXPECT_EQ(run.exitCode, kExitFinished) << run.output;
    EXPECT_EQ(run.output, kRaisedPeriod + kReady +
                              "Process not running, restarting...\nAdjusting variable values:\n"
                              "<Max> : -2147483648\n<Min> : -2147483647\nProcess restarted (1 runs).\n" +
                              kDone);
    EXPECT_EQ(recorded(out), (std::vector<std::string>{out, "-2147483648", "-2147483647"}));

    // A variable count past the 32-bit range is no number: no variables.
    const WatchdogRun past = watch(runConfig(recorder, pathOf("args2"), 1, "2147483648"));
    EXPECT_EQ(past.exitCode, kExitFinished) << past.output;
    EXPECT_FALSE(contains(past.output, "Adjusting")) << past.output;
}

TEST_F(BadInputRun, DuplicateSectionsAndKeysTheFirstCounts) {
    const std::string target = program("exit_at_once");
    const std::string text = "[main]\nprocessName=" + target +
                             "\ncheckPeriod=0\ncheckPeriod=99999\nvariables=0\n"
                             "[finishCondition]\ntype=2\ndataInt=2\n"
                             "[MAIN]\nprocessName=/nonexistent\n"
                             "[main]\nprocessName=/nonexistent\ncheckPeriod=99999\n"
                             "[finishCondition]\ntype=0\n";
    const WatchdogRun run = watch(text);
    EXPECT_EQ(run.exitCode, kExitFinished) << run.output;
    EXPECT_TRUE(contains(run.output, "Process restarted (2 runs).\n" + kDone)) << run.output;
    EXPECT_FALSE(contains(run.output, "Failed")) << run.output;
}

TEST_F(BadInputRun, ATenMegabyteLineIsReadUpToTheLongestValue) {
    const std::string recorder = program("argv_recorder");
    const std::string out = pathOf("args");
    const std::string huge(10 << 20, 'x');
    const std::string text = "[main]\n; " + huge + "\nprocessName=" + recorder + "\ncommandParams=" + out + " " + huge +
                             "\ncheckPeriod=0\nvariables=0\n[finishCondition]\ntype=2\ndataInt=1\n";
    const WatchdogRun run = watch(text, 60s);
    EXPECT_EQ(run.exitCode, kExitFinished) << run.output.substr(0, 500);
    // The argument template is cut to 2047 characters.
    EXPECT_EQ(recorded(out), (std::vector<std::string>{out, std::string(2047 - out.size() - 1, 'x')}));
}

TEST_F(BadInputRun, TheMostVariablesALoadAcceptsAllLoadBehindATenMegabyteLine) {
    // 9 + 4 x 10000 keys read from an 11 MB file. A load that read the whole
    // file again for every key would take hours; the limit only catches that.
    const std::string recorder = program("argv_recorder");
    const std::string out = pathOf("args");
    std::string text = runConfig(recorder, out + " <v0> <v9999>", 1, "10000") + "junk=" + std::string(10 << 20, 'j');
    for (int i = 0; i < 10000; ++i) {
        const std::string index = std::to_string(i);
        text += "\n[variable" + index + "]\ntype=0\nname=<v" + index + ">\ndata=\nbaseValue=" + index;
    }
    const WatchdogRun run = watch(text, 120s);
    EXPECT_EQ(run.exitCode, kExitFinished) << run.output.substr(0, 500);
    EXPECT_TRUE(contains(run.output, "<v9999> : 10000\nProcess restarted (1 runs).\n")) << run.output.substr(0, 500);
    EXPECT_EQ(recorded(out), (std::vector<std::string>{out, "1", "10000"}));
}

TEST_F(BadInputRun, NulInAValueEndsTheValue) {
    // A profile value ends at its first NUL, as the profile functions give
    // a value up to its terminator. Were the rest kept, the target would be
    // looked for under a name no process has, while the start runs the
    // file before the NUL: a new instance on every check.
    const std::string sleeper = program("idle_sleeper");
    std::size_t instances = 0;
    const WatchdogRun run =
        watch("[main]\nprocessName=" + sleeper + std::string(1, '\0') + "junk\ncommandParams=30\ncheckPeriod=20\n" +
                  countedVariable(),
              20s, afterChecks([&](pid_t) { instances = test::runningInstancesOf(sleeper).size(); }));
    test::killInstancesOf(sleeper);
    EXPECT_TRUE(run.stillRunning);
    EXPECT_EQ(instances, 1u);
    EXPECT_EQ(occurrences(run.output, "Process restarted ("), 1u) << run.output.substr(0, 500);
}

TEST_F(BadInputRun, SavingWhereNothingCanBeWrittenIsReportedAndAskedAgain) {
    const std::string target = program("exit_at_once");
    std::filesystem::create_directory(pathOf("adir"));
    test::writeBytes(pathOf("plain"), "x");
    test::writeBytes(pathOf("be.ini"), kBigEndian);
    const struct {
        std::string name;
        std::string reason;
    } cases[] = {
        {"adir", "Is a directory"},
        {"no/such/folder/run.ini", "No such file or directory"},
        {"plain/run.ini", "Not a directory"},
        {"be.ini", "it is UTF-16BE text, which procguard cannot read (it reads UTF-8 and UTF-16LE)"},
    };
    for (const auto& c : cases) {
        const WatchdogRun run = type("1\n" + target + "\n\n0\n1000\n2\n1\ny\n" + c.name + "\nn\n");
        EXPECT_EQ(run.exitCode, kExitFinished) << run.output;
        EXPECT_TRUE(contains(run.output, "Enter configuration file name: The configuration could not be saved to " +
                                             pathOf(c.name) + ": " + c.reason +
                                             "\nConfiguration complete. Save configuration for reuse? (y/n)\n" +
                                             kRaisedPeriod + kReady))
            << run.output;
        EXPECT_TRUE(contains(run.output, "Process restarted (1 runs).\n")) << run.output;
    }
    EXPECT_EQ(test::readFile(pathOf("be.ini")), kBigEndian) << "never written into";
}

TEST_F(BadInputRun, TargetsThatCannotStartAreReportedAtEveryRestart) {
    std::filesystem::create_directory(pathOf("adir"));
    test::writeBytes(pathOf("plain.txt"), "not a program\n");
    chmod(pathOf("plain.txt").c_str(), 0644);
    test::writeBytes(pathOf("script"), "echo no interpreter line\n");
    chmod(pathOf("script").c_str(), 0755);
    const struct {
        std::string target;
        std::string reason;
    } cases[] = {
        {pathOf("adir"), "It is a folder, not a program."},
        {pathOf("plain.txt"), "Permission denied"},
        {pathOf("script"), "Exec format error"},
        {"/" + std::string(2000, 'n'), "File name too long"},
    };
    for (const auto& c : cases) {
        const WatchdogRun run = watch(runConfig(c.target));
        EXPECT_EQ(run.exitCode, kExitFinished) << c.target.substr(0, 100);
        const std::string failed = ": " + c.target + ": " + c.reason + "\n";
        EXPECT_TRUE(contains(run.output, "Failed to restart process (1 runs)" + failed)) << run.output;
        EXPECT_TRUE(contains(run.output, "Failed to restart process (2 runs)" + failed + kDone)) << run.output;
    }

    // The same for a ten-megabyte path typed at the console.
    const std::string typedPath = "/" + std::string(10 << 20, 'p');
    const WatchdogRun typed = type("1\n" + typedPath + "\n\n0\n1000\n2\n1\nn\n", 60s);
    EXPECT_EQ(typed.exitCode, kExitFinished);
    EXPECT_TRUE(contains(typed.output, "Failed to restart process (1 runs): " + typedPath + ": File name too long\n"));
}

TEST_F(BadInputRun, TargetsThatDetachOrIgnoreSigtermAreLeftRunning) {
    // A target that forks and exits at once leaves its child running under
    // the same path: it is started once, and its exited parent is collected.
    const std::string forking = program("fork_and_exit");
    std::size_t instances = 0;
    bool collected = false;
    const WatchdogRun run =
        watch("[main]\nprocessName=" + forking + "\ncommandParams=30\ncheckPeriod=20\n" + countedVariable(), 20s,
              afterChecks([&](pid_t watchdog) {
                  instances = test::runningInstancesOf(forking).size();
                  collected = test::waitUntil([&] { return test::zombieChildrenOf(watchdog) == 0; });
              }));
    test::killInstancesOf(forking);
    EXPECT_TRUE(run.stillRunning);
    EXPECT_EQ(occurrences(run.output, "Process restarted ("), 1u) << run.output;
    EXPECT_EQ(instances, 1u);
    EXPECT_TRUE(collected);

    // A target that ignores SIGTERM neither holds up the end of the run nor
    // is disturbed by it.
    const std::string sleeper = program("idle_sleeper");
    const WatchdogRun ending = watch(runConfig(sleeper, "30 ignore-term", 1), 10s);
    const std::vector<pid_t> left = test::runningInstancesOf(sleeper);
    test::killInstancesOf(sleeper);
    EXPECT_EQ(ending.exitCode, kExitFinished) << ending.output;
    EXPECT_EQ(left.size(), 1u);
}

TEST_F(BadInputRun, ConsoleInputEndingInTheMiddleOfEachQuestionStopsTheProgram) {
    const std::string target = program("exit_at_once");
    // Menu, path, arguments, use, kind, mask, base value, period, timeout,
    // finish menu, maximum, save question.
    const std::string script = "1\n" + target + "\n-n <A>\ny\n1\n" + folder.path + "/*\n-2\n0\n1000\n2\n1\nn\n";
    int runs = 0;
    for (std::size_t start = 0; start < script.size() - 2;) {
        const std::size_t end = script.find('\n', start);
        for (std::size_t cut : {start + (end - start) / 2, end + 1}) {
            if (cut <= start || cut >= script.size() - 1) continue;
            const WatchdogRun run = type(script.substr(0, cut), 10s);
            ++runs;
            EXPECT_EQ(run.exitCode, kExitInputEnded) << "cut at " << cut << ":\n" << run.output;
            EXPECT_TRUE(run.output.size() >= kInputEnded.size() &&
                        run.output.compare(run.output.size() - kInputEnded.size(), std::string::npos, kInputEnded) == 0)
                << "cut at " << cut << ":\n"
                << run.output;
            EXPECT_FALSE(contains(run.output, "Ready to go")) << "cut at " << cut;
        }
        start = end + 1;
    }
    EXPECT_GE(runs, 12);
    const WatchdogRun whole = type(script);
    EXPECT_EQ(whole.exitCode, kExitFinished) << whole.output;
    EXPECT_TRUE(contains(whole.output, "Process restarted (1 runs).\n" + kDone)) << whole.output;
}

} // namespace
} // namespace procguard
