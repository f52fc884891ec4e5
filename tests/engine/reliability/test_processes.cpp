// Passes in processes of their own: killed with SIGKILL at random moments (with unnamed and
// with named temporaries), and run as the unprivileged user nobody.

#include "RecordingHost.h"
#include "SyscallFaults.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace doplet::test {
namespace {

struct Child {
    std::vector<std::string> lines;
    bool killed = false;
};

// Lists both folders and runs a pass in a child process, as the user nobody when `asNobody`,
// without unnamed temporaries when `named`; kills it after `killAfter` microseconds unless that
// is negative.
Child PassInChild(const std::string& one, const std::string& two, bool named, bool asNobody,
                  long killAfter) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[0]);
        if (asNobody &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(77);
        }
        if (named) {
            faults::Fail(faults::Call::Tmpfile, EOPNOTSUPP, 0, 1 << 30);
        }
        const auto fs = MakeNativeFileSystem();
        // Every line goes to the pipe at once, so that the parent sees what a killed pass logged.
        RecordingHost host;
        host.onEvent = [&] {
            const std::string last = host.events().back() + "\n";
            if (last.rfind("line ", 0) == 0) {
                (void)!::write(ends[1], last.data() + 5, last.size() - 5);
            }
        };
        WorkerControl control;
        RunPass(*fs, ListBoth(*fs, one, two), host, control);
        ::_exit(0);
    }
    ::close(ends[1]);
    if (killAfter >= 0) {
        ::usleep(static_cast<useconds_t>(killAfter));
        ::kill(pid, SIGKILL);
    }
    Child child;
    std::ifstream out("/proc/self/fd/" + std::to_string(ends[0]));
    for (std::string line; std::getline(out, line);) {
        child.lines.push_back(line);
    }
    ::close(ends[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    child.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    EXPECT_TRUE(child.killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    return child;
}

bool IsTemporary(const Snapshot::value_type& item) {
    return item.first.find("/.doplet-") != std::string::npos;
}

class CrashTest : public testing::TestWithParam<bool> {};

// Every file on both sides after a kill is as it was, or the complete copy of the other side's
// version (content, time to the nanosecond, mode); nothing is lost; every copy the log reported
// is in place; temporaries are never listed and, once left, never touched. Then one pass to the
// end makes both sides equal and the next copies nothing.
TEST_P(CrashTest, PassesKilledAtRandomMomentsLoseNothingAndConvergeAfterwards) {
    const bool named = GetParam();
    std::mt19937_64 rng(SeedFor("CrashTest"));
    const TempDir dir;
    const std::string root[2] = {dir.makeFolder("one"), dir.makeFolder("two")};
    std::int64_t clock = kBaseTime;
    auto edit = [&] { // saved in place or by rename, now and then removed; some files of 1 MiB
        const bool big = rng() % 8 == 0;
        const std::string path = root[rng() % 2] + (big ? "/big" + std::to_string(rng() % 3)
                                                        : "/d" + std::to_string(rng() % 6) + "/f" +
                                                              std::to_string(rng() % 10));
        const std::string saved = path + (rng() % 2 == 0 ? "" : ".new");
        WriteFile(saved, std::to_string(clock) + std::string(big ? 1 << 20 : rng() % 5000, 'x'),
                  {clock += 2 + static_cast<std::int64_t>(rng() % 3), 7});
        std::filesystem::rename(saved, path);
        if (rng() % 6 == 0) {
            std::filesystem::remove(path);
        }
    };
    auto fs = MakeNativeFileSystem();
    const std::int64_t wanted = EnvNumber("DOPLET_CRASH_KILLS", named ? 8 : 20, named ? 100 : 250);
    long window = 100'000; // follows the last pass that ended before its kill
    int kills = 0;
    for (int round = 0; kills < wanted && round < wanted * 10 && !HasFailure(); ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round << ", kill " << kills);
        for (int i = 0; i < (round == 0 ? 120 : 6); ++i) {
            edit();
        }
        const Snapshot before[2] = {TakeSnapshot(root[0]), TakeSnapshot(root[1])};
        const auto started = std::chrono::steady_clock::now();
        const Child child =
            PassInChild(root[0], root[1], named, false, static_cast<long>(rng() % window));
        if (!child.killed) {
            window = static_cast<long>((std::chrono::steady_clock::now() - started) /
                                       std::chrono::microseconds(1));
        }
        kills += child.killed ? 1 : 0;
        for (int side = 0; side < 2; ++side) {
            const Snapshot after = TakeSnapshot(root[side]);
            std::size_t files = 0;
            for (const auto& item : after) {
                const auto old = before[side].find(item.first);
                const auto other = before[1 - side].find(item.first);
                const bool kept = old != before[side].end() && old->second == item.second;
                if (IsTemporary(item)) {
                    EXPECT_TRUE(kept || old == before[side].end()) << "touched " << item.first;
                } else if (item.second.kind == 'f' && ++files != 0) {
                    EXPECT_TRUE(kept ||
                                (other != before[1 - side].end() && other->second == item.second))
                        << "side " << side + 1 << ": " << item.first << " is neither old nor new";
                }
            }
            for (const auto& item : before[side]) {
                EXPECT_EQ(after.count(item.first), 1U)
                    << "side " << side + 1 << " lost " << item.first;
            }
            EXPECT_EQ(LinesOf(*ListTree(*fs, root[side])).size(), files) << "side " << side + 1;
        }
        for (const std::string& line : child.lines) { // every reported copy is in place
            const std::size_t arrow = line.find("->");
            const int from = line.rfind(root[0], 0) == 0 ? 0 : 1;
            if (arrow != std::string::npos) {
                const std::string path = line.substr(root[from].size(), arrow - root[from].size());
                EXPECT_EQ(ReadFile(line.substr(arrow + 2)), before[from].at(path).content) << line;
            }
        }
    }
    EXPECT_GE(kills, wanted);
    std::cout << "[ figures  ] " << kills << " kills, window " << window << " us" << std::endl;
    PassInChild(root[0], root[1], named, false, -1); // to the end
    EXPECT_EQ(PassInChild(root[0], root[1], named, false, -1).lines, std::vector<std::string>{});
    Snapshot sides[2] = {TakeSnapshot(root[0]), TakeSnapshot(root[1])};
    std::erase_if(sides[0], IsTemporary);
    std::erase_if(sides[1], IsTemporary);
    EXPECT_EQ(sides[0], sides[1]);
}

INSTANTIATE_TEST_SUITE_P(Temporaries, CrashTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "Named" : "Unnamed"; });

// As nobody: what the user may not read or write fails and stays as it was; a folder the
// user may not read is left out of the listing; what is allowed is copied and belongs to nobody.
TEST(UnprivilegedTest, WhatTheUserMayNotReadOrWriteFailsWith5AndStaysAsItWas) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become nobody";
    }
    const TempDir dir;
    const std::string one = dir.makeFolder("one"), two = dir.makeFolder("two");
    for (const char* entry : {"/secret", "/closed/a", "/open/theirs", "/open/mine", "/locked/new/a",
                              "/ok", "/hidden/a"}) {
        WriteFile(one + entry, "new", {kBaseTime + 60, 0});
    }
    for (const char* entry : {"/closed/a", "/open/theirs", "/open/mine"}) {
        WriteFile(two + entry, "old", {kBaseTime, 0});
    }
    dir.makeFolder("two/locked");
    ::chmod((one + "/secret").c_str(), 0);
    ::chmod((one + "/hidden").c_str(), 0700);
    ::chmod((two + "/open").c_str(), 0777);
    ::chmod((two + "/open/mine").c_str(), 0444);
    for (const std::string& path : {one, two, two + "/open/mine"}) { // nobody's
        ::chown(path.c_str(), 65534, 65534);
    }
    const Snapshot before = TakeSnapshot(two);
    const Child child = PassInChild(one, two, false, true, -1);
    const std::string failed = "失敗しました Error－";
    // A folder the user may not create is 3, like any folder of the target's path that is missing.
    std::vector<std::string> lines = child.lines;
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines,
              (std::vector{one + "/closed/a" + failed + "5", one + "/locked/new/a" + failed + "3",
                           one + "/ok->" + two + "/ok", one + "/open/mine" + failed + "5",
                           one + "/open/theirs" + failed + "5", one + "/secret" + failed + "5"}));
    Snapshot after = TakeSnapshot(two);
    EXPECT_EQ(LStat(two + "/ok").st_uid, 65534U);
    EXPECT_EQ(after.erase("/ok"), 1U);
    EXPECT_EQ(after, before);
}

} // namespace
} // namespace doplet::test
