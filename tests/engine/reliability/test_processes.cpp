// Passes in processes of their own, killed with SIGKILL just before each system call of the copy
// step (with unnamed and with named temporaries), copying one file at a time and several.

#include "RecordingHost.h"
#include "SyscallFaults.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace doplet::test {
namespace {

using C = Call;

struct Child {
    std::vector<std::string> lines;
    bool killed = false;
};
// Where a child dies: just before its `nth` call of `call`; with named temporaries only.
struct Kill {
    C call = C::Count;
    int nth = 0;
    bool named = false;
};

// Lists both folders and runs a pass in a child process with `workers`, killed as `kill` says.
Child PassInChild(const std::string& one, const std::string& two, unsigned workers,
                  Kill kill = {}) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[0]);
        if (kill.named) {
            faults.fail(C::Tmpfile, EOPNOTSUPP);
        }
        if (kill.call != C::Count) {
            auto calls = std::make_shared<std::atomic<int>>(kill.nth); // on any worker
            faults.before(kill.call, [calls](int, const char*, int, unsigned) {
                if (--*calls == 0) {
                    ::raise(SIGKILL);
                }
            });
        }
        const auto fs = MakeNativeFileSystem();
        const PassInput input = ListBoth(*fs, one, two);
        // Every line goes to the pipe at once, so that the parent sees what a killed pass logged.
        RecordingHost host;
        host.onEvent = [&] {
            const std::string last = host.events().back() + "\n";
            if (last.rfind("line ", 0) == 0) {
                (void)!::write(ends[1], last.data() + 5, last.size() - 5);
            }
        };
        WorkerControl control;
        RunPass(*fs, input, host, control, workers);
        ::_exit(0);
    }
    ::close(ends[1]);
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

// A pass killed before each step of a copy of a 4 MiB file over an older one, then of a new file:
// each target is its old content or the complete copy (content, time to the nanosecond, mode),
// side 1 is untouched, every copy the log reported is in place, and a temporary is left only
// where the kill fell after it was named (always so with named ones; with several workers, also
// where another worker's copy was between its naming and its rename), and is never listed. The
// next pass settles both sides, and the one after copies nothing.
TEST(CrashTest, APassKilledBeforeAnyStepOfACopyLosesNothingAndTheNextPassSettles) {
    const Kill rows[] = {
        {C::Tmpfile, 1},     {C::Clone, 1},         {C::CopyRange, 1},     {C::CopyRange, 2},
        {C::Fchmod, 1},      {C::Futimens, 1},      {C::LinkEmptyPath, 1}, {C::Rename, 1},
        {C::Tmpfile, 2},     {C::LinkEmptyPath, 2}, {C::NamedTemp, 1, 1},  {C::CopyRange, 2, 1},
        {C::Futimens, 1, 1}, {C::Rename, 1, 1},     {C::Renameat2, 1, 1},
    };
    for (const unsigned workers : {1U, 3U}) {
        for (const Kill& row : rows) {
            SCOPED_TRACE(testing::Message()
                         << "call " << static_cast<int>(row.call) << " #" << row.nth
                         << (row.named ? ", named" : "") << ", " << workers << " workers");
            const TempDir dir;
            const std::string one = dir / "one", two = dir / "two";
            WriteFile(one + "/a", std::string(4 << 20, 'n'), {kBaseTime + 10, 7});
            WriteFile(one + "/b", "new b", {kBaseTime + 10, 9});
            WriteFile(two + "/a", "old a", {kBaseTime, 0});
            ::chmod((one + "/a").c_str(), 0640);
            const Snapshot before[2] = {TakeSnapshot(one), TakeSnapshot(two)};
            const Child child = PassInChild(one, two, workers, row);
            EXPECT_TRUE(child.killed) << "the step was never reached";
            EXPECT_EQ(TakeSnapshot(one), before[0]);
            Snapshot after = TakeSnapshot(two);
            const std::size_t left = std::erase_if(after, IsTemporary);
            EXPECT_TRUE(left == 0 || row.named || row.call == C::Rename || workers > 1)
                << "a temporary left";
            for (const auto& [name, node] : after) {
                const auto old = before[1].find(name);
                EXPECT_TRUE((old != before[1].end() && old->second == node) ||
                            before[0].at(name) == node)
                    << name << " is neither old nor complete";
            }
            EXPECT_EQ(after.count("/a"), 1U);
            EXPECT_EQ(LinesOf(*ListTree(*MakeNativeFileSystem(), two)).size(), after.size());
            for (const std::string& line : child.lines) { // every reported copy is in place
                const std::string name = line.substr(line.rfind('/'));
                EXPECT_EQ(after.at(name), before[0].at(name)) << line;
            }
            // Each file copied once in all; with several workers a copy may have been committed
            // while its line waited for an earlier file's, and died unlogged with the process.
            const std::size_t copies =
                PassInChild(one, two, workers).lines.size() + child.lines.size();
            EXPECT_TRUE(copies == 2 || (workers > 1 && copies == 1)) << copies;
            EXPECT_EQ(PassInChild(one, two, workers).lines, std::vector<std::string>{});
            after = TakeSnapshot(two);
            std::erase_if(after, IsTemporary);
            EXPECT_EQ(after, before[0]);
        }
    }
}

} // namespace
} // namespace doplet::test
