// A pass killed with SIGKILL at random moments never leaves a target half written: every file on
// both sides is either as it was or the complete new copy with the source's last-write time, no
// temporary is ever listed, and a pass run to its end afterwards brings both sides into step.
//
// The helper program runs each pass over a few large files and many small ones; between passes
// the test edits files on both sides, so that every pass has work to be killed in.
// DOPLET_LONG_TESTS=1 kills ten times as often; DOPLET_CRASH_KILLS and DOPLET_CRASH_LARGE_MIB
// set the number of kills and the size of the large files; DOPLET_SEED repeats a run.

#include "ErrorCodes.h"
#include "RelSupport.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <set>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace doplet::rel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSmallFiles = 400;
constexpr int kSmallFolders = 16;
constexpr int kLargeFiles = 3;

class CrashWorld {
public:
    explicit CrashWorld(std::uint64_t seed)
        : rng_(seed), one_(scratch_.folder("one")), two_(scratch_.folder("two")),
          stash_(scratch_.folder("stash")),
          largeSize_(static_cast<std::uint64_t>(EnvNumber("DOPLET_CRASH_LARGE_MIB", 64)) << 20U) {
        largePaths_ = {"/big0.bin", "/media/big1.bin", "/media/raw/big2.bin"};
        // Two versions of every large file, written once and linked into place when a side
        // gets a new version: the pass only ever reads them and replaces names, never inodes.
        for (int i = 0; i < kLargeFiles; ++i) {
            for (int v = 0; v < 2; ++v) {
                const std::string path = stashPath(i, v);
                WritePatternFile(path, seed ^ (0x1000U + static_cast<unsigned>(i * 2 + v)),
                                 largeSize_);
                const auto st = LookUp(path);
                const std::uint64_t hash = HashFile(path).value();
                stashHash_[i][v] = hash;
                cache_.pin(st->st_dev, st->st_ino, hash);
            }
        }
        // Many small files: most on side 1 only, some on side 2 only, some on both sides in two
        // different versions.
        for (int i = 0; i < kSmallFiles; ++i) {
            const int folder = static_cast<int>(rng_() % kSmallFolders);
            std::string path = "/f" + std::to_string(folder % 4) + "/g" + std::to_string(folder) +
                               "/s" + std::to_string(i) + ".dat";
            if (folder % 5 == 0) {
                path = "/s" + std::to_string(i) + ".txt";
            }
            smallPaths_.push_back(path);
            const unsigned roll = rng_() % 100;
            if (roll < 70 || roll >= 85) {
                writeSmall(1, path);
            }
            if (roll >= 70) {
                writeSmall(2, path);
            }
        }
        for (int i = 0; i < kLargeFiles; ++i) {
            placeLarge(1, i, 0);
        }
    }

    [[nodiscard]] const std::string& one() const { return one_; }
    [[nodiscard]] const std::string& two() const { return two_; }
    [[nodiscard]] const Scratch& scratch() const { return scratch_; }
    HashCache& cache() { return cache_; }
    std::mt19937_64& rng() { return rng_; }
    [[nodiscard]] std::uint64_t largeBytes() const { return largeSize_ * kLargeFiles; }

    // Edits between two passes, each newer than everything before it.
    void mutate() {
        const Snapshot s1 = TakeSnapshot(one_, &cache_);
        const Snapshot s2 = TakeSnapshot(two_, &cache_);
        for (int i = 0; i < kLargeFiles; ++i) {
            if (rng_() % 100 >= 60) {
                continue;
            }
            const int side = 1 + static_cast<int>(rng_() % 2);
            const Snapshot& other = side == 1 ? s2 : s1;
            int version = static_cast<int>(rng_() % 2);
            if (const auto found = other.find(largePaths_[i]); found != other.end()) {
                version = found->second.hash == stashHash_[i][0] ? 1 : 0;
            }
            placeLarge(side, i, version);
        }
        for (const std::string& path : smallPaths_) {
            const unsigned roll = rng_() % 1000;
            if (roll < 200) {
                writeSmall(1 + static_cast<int>(rng_() % 2), path);
            } else if (roll < 230) {
                // The user deletes one of two copies: the pass copies it back.
                const int side = 1 + static_cast<int>(rng_() % 2);
                if ((side == 1 ? s2 : s1).count(path) != 0) {
                    ::unlink((root(side) + path).c_str());
                }
            }
        }
        for (int i = 0; i < 3; ++i) {
            const std::string path = "/new" + std::to_string(fresh_) + "/n" + std::to_string(i) +
                                     "/x" + std::to_string(fresh_) + ".dat";
            smallPaths_.push_back(path);
            writeSmall(1 + static_cast<int>(rng_() % 2), path);
            ++fresh_;
        }
    }

    // True when the stash still holds what was written into it.
    bool stashIntact() {
        for (int i = 0; i < kLargeFiles; ++i) {
            for (int v = 0; v < 2; ++v) {
                if (HashFile(stashPath(i, v)) != stashHash_[i][v]) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    [[nodiscard]] std::string root(int side) const { return side == 1 ? one_ : two_; }
    [[nodiscard]] std::string stashPath(int i, int v) const {
        return stash_ + "/big" + std::to_string(i) + "-" + std::to_string(v) + ".bin";
    }

    Stamp nextStamp() {
        clock_ += 2 + static_cast<std::int64_t>(rng_() % 3);
        return {clock_, static_cast<std::uint32_t>(rng_() % 1'000'000'000)};
    }

    void writeSmall(int side, const std::string& path) {
        const std::size_t size = rng_() % 8 == 0 ? 0 : rng_() % 48'000;
        const std::string content = PatternBytes(rng_(), size);
        const std::string full = root(side) + path;
        if (rng_() % 2 == 0 && LookUp(full)) {
            SaveFile(full, content, nextStamp());
        } else {
            PutFile(full, content, nextStamp());
        }
    }

    // Puts version `v` of large file `i` on a side as a new name, newer than everything.
    void placeLarge(int side, int i, int v) {
        const std::string target = root(side) + largePaths_[i];
        const std::string aside = target + ".placing";
        scratch_.folder(
            target.substr(scratch_.path().size(), target.rfind('/') - scratch_.path().size()));
        ASSERT_EQ(::link(stashPath(i, v).c_str(), aside.c_str()), 0) << aside;
        ASSERT_EQ(::rename(aside.c_str(), target.c_str()), 0) << target;
        ::unlink(aside.c_str()); // left when the target already was this very file
        SetStamp(target, nextStamp());
    }

    Scratch scratch_;
    std::mt19937_64 rng_;
    std::string one_;
    std::string two_;
    std::string stash_;
    std::uint64_t largeSize_;
    std::vector<std::string> largePaths_;
    std::vector<std::string> smallPaths_;
    std::uint64_t stashHash_[kLargeFiles][2]{};
    HashCache cache_;
    std::int64_t clock_ = 1'700'000'000;
    int fresh_ = 0;
};

bool IsFile(const Snapshot& s, const std::string& path) {
    const auto found = s.find(path);
    return found != s.end() && found->second.kind == Node::Kind::File;
}

bool IsTemporaryPath(const std::string& path) {
    return IsCopyTemporaryName(path.substr(path.rfind('/') + 1));
}

bool SameContentAndTime(const Node& a, const Node& b) {
    return a.kind == Node::Kind::File && b.kind == Node::Kind::File && a.size == b.size &&
           a.hash == b.hash && a.mtime == b.mtime && a.mode == b.mode;
}

// What a complete pass must do to each file: the direction of its copy, if any.
struct Due {
    int from = 0; // 0: nothing to do
    int to = 0;
};

std::map<std::string, Due> DueCopies(const Snapshot& s1, const Snapshot& s2) {
    std::map<std::string, Due> due;
    std::set<std::string> paths;
    for (const Snapshot* s : {&s1, &s2}) {
        for (const auto& [path, node] : *s) {
            if (node.kind == Node::Kind::File && !IsTemporaryPath(path)) {
                paths.insert(path);
            }
        }
    }
    for (const std::string& path : paths) {
        const bool in1 = IsFile(s1, path);
        const bool in2 = IsFile(s2, path);
        Due d;
        if (in1 && (!in2 || StepOf(s2.at(path).mtime) < StepOf(s1.at(path).mtime))) {
            d = {1, 2};
        } else if (in2 && (!in1 || StepOf(s1.at(path).mtime) < StepOf(s2.at(path).mtime))) {
            d = {2, 1};
        }
        due[path] = d;
    }
    return due;
}

struct Figures {
    int rounds = 0;
    int kills = 0;
    int completedRounds = 0;
    int filesChecked = 0;
    int newCopiesSeen = 0;        // targets found complete and new after a kill
    int untouchedSeen = 0;        // targets found as they were after a kill
    int namedTemporariesLeft = 0; // a kill between the two steps of a commit that replaces
};

class CrashTest : public ::testing::Test {
protected:
    // Checks promise 1 for every file on both sides after a pass that may have been killed.
    void checkAfter(const Snapshot pre[2], const Snapshot post[2], const std::string& log,
                    Figures& figures) {
        const std::map<std::string, Due> due = DueCopies(pre[0], pre[1]);
        for (const auto& [path, d] : due) {
            for (int side = 1; side <= 2; ++side) {
                const Snapshot& before = pre[side - 1];
                const Snapshot& after = post[side - 1];
                ++figures.filesChecked;
                const bool existed = IsFile(before, path);
                const bool exists = after.count(path) != 0;
                const bool unchanged =
                    existed ? exists && after.at(path) == before.at(path) : !exists;
                if (d.to != side) {
                    EXPECT_TRUE(unchanged)
                        << "side " << side << path << " changed although nothing was due to it";
                    continue;
                }
                const Node& source = pre[d.from - 1].at(path);
                const bool complete = exists && SameContentAndTime(after.at(path), source);
                EXPECT_TRUE(unchanged || complete)
                    << "side " << side << path
                    << " is neither its old content nor the complete new copy (size "
                    << (exists ? after.at(path).size : 0) << " of " << source.size << ")";
                figures.newCopiesSeen += complete && !unchanged ? 1 : 0;
                figures.untouchedSeen += unchanged ? 1 : 0;
            }
        }
        // Nothing else appeared but the folders of due copies and, at most, complete temporaries.
        for (int side = 1; side <= 2; ++side) {
            for (const auto& [path, node] : post[side - 1]) {
                if (pre[side - 1].count(path) != 0 || due.count(path) != 0) {
                    continue;
                }
                if (IsTemporaryPath(path)) {
                    // Beside a target that was due: with unnamed temporaries only a complete
                    // copy can be left, by a kill between linking it to a name and renaming it
                    // over the target; a named temporary may be left at any stage.
                    ++figures.namedTemporariesLeft;
                    bool besideADueTarget = false;
                    bool isCompleteCopy = false;
                    for (const auto& [duePath, d] : due) {
                        if (d.to == side && duePath.substr(0, duePath.rfind('/')) ==
                                                path.substr(0, path.rfind('/'))) {
                            besideADueTarget = true;
                            isCompleteCopy |= SameContentAndTime(node, pre[d.from - 1].at(duePath));
                        }
                    }
                    EXPECT_TRUE(besideADueTarget) << "side " << side << path;
                    EXPECT_TRUE(named_ || isCompleteCopy)
                        << "side " << side << path << " is a temporary that is not a complete copy";
                    continue;
                }
                bool isDueFolder = false;
                if (node.kind == Node::Kind::Folder) {
                    for (const auto& [duePath, d] : due) {
                        isDueFolder |= d.to == side && duePath.rfind(path + "/", 0) == 0;
                    }
                }
                EXPECT_TRUE(isDueFolder) << "side " << side << path << " appeared from nowhere";
            }
        }
        // Temporaries left by earlier kills are never touched again.
        for (int side = 1; side <= 2; ++side) {
            for (const auto& [path, node] : pre[side - 1]) {
                if (IsTemporaryPath(path)) {
                    const auto now = post[side - 1].find(path);
                    EXPECT_TRUE(now != post[side - 1].end() && now->second == node)
                        << "side " << side << path << " was changed or removed";
                }
            }
        }
        // Every copy the log reports was committed in full.
        for (const LogLine& line : ParseHelperLines(log)) {
            ASSERT_FALSE(line.failed()) << line.text();
            const int to = line.target.rfind(world_->two(), 0) == 0 ? 2 : 1;
            const std::string path =
                line.target.substr((to == 1 ? world_->one() : world_->two()).size());
            ASSERT_TRUE(due.count(path) != 0 && due.at(path).to == to) << line.text();
            EXPECT_TRUE(
                post[to - 1].count(path) != 0 &&
                SameContentAndTime(post[to - 1].at(path), pre[due.at(path).from - 1].at(path)))
                << "logged but not in place: " << line.text();
        }
        // The listing shows exactly the files, never a temporary.
        FileSystem& fs = *fs_;
        for (int side = 1; side <= 2; ++side) {
            const std::string& root = side == 1 ? world_->one() : world_->two();
            std::set<std::string> listed;
            for (const std::string& entry : LinesOf(*ListSide(fs, root, side))) {
                EXPECT_FALSE(IsTemporaryPath(entry)) << "listed a temporary: " << entry;
                listed.insert(entry);
            }
            std::set<std::string> files;
            for (const auto& [path, node] : post[side - 1]) {
                if (node.kind == Node::Kind::File && !IsTemporaryPath(path)) {
                    files.insert(path);
                }
            }
            EXPECT_EQ(listed, files);
        }
    }

    // Promise 4: equal content and age on both sides for every file.
    void expectConverged(const Snapshot& s1, const Snapshot& s2) {
        std::size_t files = 0;
        for (const auto& [path, d] : DueCopies(s1, s2)) {
            ++files;
            ASSERT_TRUE(IsFile(s1, path) && IsFile(s2, path)) << path << " is on one side only";
            EXPECT_TRUE(SameContentAndTime(s1.at(path), s2.at(path))) << path << " differs";
        }
        EXPECT_GT(files, static_cast<std::size_t>(kSmallFiles));
    }

    void run(bool named, int wantedKills);

    std::shared_ptr<FileSystem> fs_ = MakeNativeFileSystem();
    std::unique_ptr<CrashWorld> world_;
    bool named_ = false;
};

// With unnamed temporaries (O_TMPFILE), where the file system has them: a kill leaves nothing.
TEST_F(CrashTest, PassesKilledAtRandomMomentsLoseNothingAndConvergeAfterwards) {
    run(false, static_cast<int>(EnvNumber("DOPLET_CRASH_KILLS", LongTests() ? 500 : 50)));
}

// With named temporaries, as on file systems without unnamed ones: a kill may leave one, which is
// never listed, never synchronised and never touched again.
TEST_F(CrashTest, WithNamedTemporariesKilledPassesLoseNothingEither) {
    run(true, static_cast<int>(EnvNumber("DOPLET_CRASH_KILLS", LongTests() ? 500 : 50) / 3));
}

void CrashTest::run(bool named, int wantedKills) {
    named_ = named;
    const std::uint64_t seed = SeedFor(named ? "CrashTest (named)" : "CrashTest");
    world_ = std::make_unique<CrashWorld>(seed);
    CrashWorld& world = *world_;
    const std::string logPath = world.scratch() / "pass.log";
    std::vector<std::string> passCommand{HelperPath(), "pass", world.one(), world.two()};
    if (named) {
        passCommand.insert(passCommand.begin() + 2, "--no-tmpfile");
        const ChildOutcome probe = RunCommand({HelperPath(), "pass", "--no-tmpfile",
                                               world.scratch() / "none", world.scratch() / "none"});
        if (probe.exitedWith(77)) {
            GTEST_SKIP() << probe.err;
        }
    }

    Figures figures;
    // Kills land anywhere from before the listing to the end of a pass. How long a pass takes
    // depends on the machine and its load, so the window follows the passes that ended unkilled.
    double window = 0;
    double inPasses = 0;
    double inChecks = 0;
    while (figures.kills < wantedKills && figures.rounds < wantedKills * 10) {
        const auto prepared = Clock::now();
        if (figures.rounds > 0) {
            world.mutate();
        }
        Snapshot pre[2] = {TakeSnapshot(world.one(), &world.cache()),
                           TakeSnapshot(world.two(), &world.cache())};
        const auto started = Clock::now();
        const pid_t pid = StartCommand(passCommand, logPath);
        if (figures.rounds > 0) {
            std::uniform_real_distribution<double> moment(0.0, window);
            std::this_thread::sleep_for(std::chrono::duration<double>(moment(world.rng())));
            ::kill(pid, SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        const double took = std::chrono::duration<double>(Clock::now() - started).count();
        inPasses += took;
        if (figures.rounds == 0) {
            std::cout << "[ figures  ] a full first pass (" << (world.largeBytes() >> 20U)
                      << " MiB in large files) took " << took << " s" << std::endl;
        }
        if (!killed) {
            window = took;
        }
        ++figures.rounds;
        figures.kills += killed ? 1 : 0;
        if (!killed) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
            ++figures.completedRounds;
        }
        const Snapshot post[2] = {TakeSnapshot(world.one(), &world.cache()),
                                  TakeSnapshot(world.two(), &world.cache())};
        checkAfter(pre, post, Slurp(logPath).value_or(""), figures);
        if (!killed) {
            expectConverged(post[0], post[1]);
        }
        inChecks += std::chrono::duration<double>(Clock::now() - prepared).count() - took;
        if (HasFailure()) {
            std::cout << "failed in round " << figures.rounds << (killed ? " (killed)" : "")
                      << std::endl;
            return;
        }
    }
    EXPECT_GE(figures.kills, wantedKills);

    // Promise 4: a pass run to its end brings both sides into step; the next copies nothing.
    const ChildOutcome finish = RunCommand(passCommand);
    ASSERT_TRUE(finish.exitedWith(0)) << finish.err;
    for (const LogLine& line : ParseHelperLines(finish.out)) {
        EXPECT_FALSE(line.failed()) << line.text();
    }
    const Snapshot done1 = TakeSnapshot(world.one(), &world.cache());
    const Snapshot done2 = TakeSnapshot(world.two(), &world.cache());
    expectConverged(done1, done2);
    const ChildOutcome again = RunCommand(passCommand);
    ASSERT_TRUE(again.exitedWith(0)) << again.err;
    EXPECT_TRUE(ParseHelperLines(again.out).empty()) << again.out;
    EXPECT_EQ(TakeSnapshot(world.one(), &world.cache()), done1);
    EXPECT_EQ(TakeSnapshot(world.two(), &world.cache()), done2);
    EXPECT_TRUE(world.stashIntact());

    std::cout << "[ figures  ] rounds " << figures.rounds << ", kills survived " << figures.kills
              << ", passes that ended before the kill " << figures.completedRounds
              << ", file checks " << figures.filesChecked << ", new copies found complete "
              << figures.newCopiesSeen << ", targets found untouched " << figures.untouchedSeen
              << ", named temporaries left " << figures.namedTemporariesLeft << ", bytes hashed "
              << world.cache().bytesHashed() << ", seconds in passes " << inPasses
              << ", in edits and checks " << inChecks << std::endl;
    RecordProperty("kills", figures.kills);
    RecordProperty("rounds", figures.rounds);
    RecordProperty("named_temporaries_left", figures.namedTemporariesLeft);
}

} // namespace
} // namespace doplet::rel
