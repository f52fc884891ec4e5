// Random trees on both sides, edited at random between passes, against a short model of the
// rules of a pass: after every pass the log and both trees must be exactly what the model says.
// Sweep 1 over folder 1's list copies the copy in the later two-second step over the other (or
// to the side where it is missing); sweep 2 over folder 2's list copies what side 1 lacks; a
// read-only target is never replaced (5); a copy whose source is gone fails with 2; a copy
// carries content, permission bits and the time to the nanosecond; nothing else changes, and a
// second pass copies nothing. Names like the copy step's temporaries, planted on both sides, are
// never listed, copied, changed or removed.
// Every run is made twice from the same seed, with one worker and with several copying at once:
// both must follow the model exactly.
// DOPLET_SEED repeats a run; DOPLET_MODEL_STEPS (or DOPLET_LONG_TESTS=1) runs more steps.

#include "FaultyFileSystem.h"
#include "TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <random>

namespace doplet::test {
namespace {

constexpr const char* kFolders[] = {"",        "/d0",     "/d1",           "/d0/e0",
                                    "/d1/e/g", "/sp ace", "/\xe6\x97\xa5", "/\xfe\xff"};
// Other programs' temporaries among them: they are files like any other.
constexpr const char* kNames[] = {"f0.txt",   "f1",       "~$r.docx", "x.swp",
                                  "\xc3\xbc", "\xff.bin", "a b.txt",  ".hidden"};

bool Exists(const std::string& path) { // also a dangling link
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

// The two-second step of a time, floored, so that times before 1970 work alike.
std::int64_t Step(FileTime time) {
    return time.sec >= 0 ? time.sec / 2 : -((1 - time.sec) / 2);
}

class Model {
public:
    Model(std::uint64_t seed, unsigned workers) : rng_(seed), workers_(workers) {
        for (int i = 0; i < 16; ++i) {
            write(static_cast<int>(rng_() % 2), path());
        }
    }

    // Edits, both listings, sometimes edits after the listing, a pass, and a second pass.
    void step() {
        for (int i = 0, edits = 1 + static_cast<int>(rng_() % 5); i < edits; ++i) {
            edit();
        }
        const std::string ours =
            root_[rng_() % 2] + kFolders[rng_() % 8] + "/.doplet-0123456789abcdef.tmp";
        if (rng_() % 15 == 0 && !Exists(ours)) { // ours to the listing, a file or a link
            std::filesystem::create_directories(std::filesystem::path(ours).parent_path());
            rng_() % 2 == 0 ? WriteFile(ours, "not to be touched")
                            : std::filesystem::create_symlink("f0.txt", ours);
        }
        auto list1 = ListTree(fs_, root_[0], 1);
        auto list2 = ListTree(fs_, root_[1], 2);
        for (int side = 0; side < 2; ++side) {
            std::vector<std::string> lines = LinesOf(side == 0 ? *list1 : *list2), files;
            std::sort(lines.begin(), lines.end());
            for (const auto& item : files_[side]) {
                files.push_back(item.first);
            }
            EXPECT_EQ(lines, files) << "listing of side " << side + 1;
        }
        const bool editedAfterListing = rng_() % 5 == 0;
        if (editedAfterListing) {
            edit(); // a file vanishes, appears or changes between the listing and the pass
        }
        const std::size_t failures = pass(list1, list2);
        if (!editedAfterListing) {
            const std::size_t again = pass(ListTree(fs_, root_[0], 1), ListTree(fs_, root_[1], 2));
            EXPECT_EQ(again, failures) << "a second pass copied something";
        }
    }

private:
    std::string path() { return std::string(kFolders[rng_() % 8]) + "/" + kNames[rng_() % 8]; }

    void write(int side, const std::string& relative) {
        Node file{
            'f', std::to_string(++version_) + relative + std::string(rng_() % 300, 'x'), {}, 0644};
        const auto other = files_[1 - side].find(relative);
        const std::uint32_t nsec = rng_() % 1'000'000'000;
        const auto r = static_cast<std::int64_t>(rng_() % 10'000'000);
        const FileTime near =
            other == files_[1 - side].end() ? FileTime{clock_, 0} : other->second.mtime;
        // Later than all so far, the very same time as the other side's, another in the same
        // two-second step; before 1970, around it, and far in the future.
        // clang-format off
        const FileTime times[] = {{clock_ += r % 5, nsec}, near, {Step(near) * 2 + r % 2, nsec},
                                  {-315'619'200 + r, nsec}, {r % 9 - 4, nsec}, {3'786'912'000 + r, nsec}};
        // clang-format on
        file.mtime = times[other == files_[1 - side].end() || rng_() % 8 > 5 ? 0 : 1 + rng_() % 5];
        const std::string full = root_[side] + relative;
        if (rng_() % 2 == 0 && Exists(full)) { // saved in place, or by rename as editors do
            std::filesystem::permissions(full, std::filesystem::perms::owner_all);
            file.mode = files_[side][relative].mode;
            WriteFile(full, file.content, file.mtime);
            std::filesystem::permissions(full, std::filesystem::perms(file.mode));
        } else {
            WriteFile(full + ".new", file.content, file.mtime);
            std::filesystem::rename(full + ".new", full);
        }
        files_[side][relative] = file;
    }

    void edit() {
        const int side = static_cast<int>(rng_() % 2);
        auto& files = files_[side];
        const unsigned what = rng_() % 10;
        if (what < 6 || files.empty()) {
            write(side, path());
            return;
        }
        auto it = std::next(files.begin(), static_cast<long>(rng_() % files.size()));
        if (what < 8) { // read-only a third of the time, else writable with various bits
            constexpr mode_t kModes[] = {0444, 0400, 0644, 0600, 0755, 0640};
            it->second.mode = kModes[rng_() % 6];
            std::filesystem::permissions(root_[side] + it->first,
                                         std::filesystem::perms(it->second.mode));
        } else {
            std::filesystem::remove(root_[side] + it->first);
            files.erase(it);
        }
    }

    // The line the model logs for a copy, applying it to the model.
    std::string copy(int from, int to, const std::string& entry) {
        const auto source = files_[from].find(entry);
        const auto target = files_[to].find(entry);
        if (source == files_[from].end()) {
            return Failed(root_[from], entry, 2);
        }
        if (target != files_[to].end() && (target->second.mode & 0200) == 0) {
            return Failed(root_[from], entry, 5);
        }
        files_[to][entry] = source->second;
        return Copied(root_[from], root_[to], entry);
    }

    // Runs a pass and compares its log and both trees with the model; returns its failures.
    std::size_t pass(const std::shared_ptr<FileList>& list1,
                     const std::shared_ptr<FileList>& list2) {
        std::vector<std::string> expected;
        for (const std::string& entry : LinesOf(*list1)) {
            const auto one = files_[0].find(entry);
            const auto two = files_[1].find(entry);
            const bool has1 = one != files_[0].end();
            if (two == files_[1].end() ||
                (has1 && Step(two->second.mtime) < Step(one->second.mtime))) {
                expected.push_back(copy(0, 1, entry));
            } else if (!has1 || Step(two->second.mtime) > Step(one->second.mtime)) {
                expected.push_back(copy(1, 0, entry));
            }
        }
        for (const std::string& entry : LinesOf(*list2)) {
            if (files_[0].count(entry) == 0) {
                expected.push_back(copy(1, 0, entry));
            }
        }
        bool completed = false;
        const std::vector<std::string> log =
            RunPassHere(fs_, {root_[0], root_[1], list1, list2}, &completed, workers_);
        EXPECT_TRUE(completed);
        EXPECT_EQ(log, expected);
        for (int side = 0; side < 2; ++side) { // folders and our names aside, exactly the model
            Snapshot tree = TakeSnapshot(root_[side]);
            std::erase_if(tree, [](const auto& item) {
                return item.second.kind == 'd' ||
                       (item.first.find("/.doplet-") != std::string::npos &&
                        (item.second.content == "not to be touched" ||
                         item.second.content == "f0.txt"));
            });
            EXPECT_EQ(tree, files_[side]) << "side " << side + 1;
        }
        return static_cast<std::size_t>(
            std::count_if(log.begin(), log.end(), [](const std::string& line) {
                return line.find("失敗しました") != std::string::npos;
            }));
    }

    std::mt19937_64 rng_;
    unsigned workers_;
    TempDir dir_;
    std::string root_[2] = {dir_.makeFolder("one"), dir_.makeFolder("two")};
    std::map<std::string, Node> files_[2];
    FaultyFileSystem fs_;
    std::int64_t clock_ = 1'700'000'000;
    int version_ = 0;
};

TEST(ModelTest, RandomTreesAndEditsFollowTheRulesAndLoseNothing) {
    const auto env = [](const char* name, std::uint64_t fallback) {
        const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): no threads yet
        return value != nullptr ? std::stoull(value) : fallback;
    };
    const std::uint64_t seed = env("DOPLET_SEED", std::random_device{}());
    std::cout << "[ seed     ] ModelTest: DOPLET_SEED=" << seed << std::endl;
    const auto steps = static_cast<std::int64_t>(
        env("DOPLET_MODEL_STEPS", env("DOPLET_LONG_TESTS", 0) == 1 ? 20'000 : 300));
    for (const unsigned workers : {1U, 4U}) {
        for (std::int64_t done = 0; done < steps && !testing::Test::HasFailure();) {
            // A fresh pair of trees now and then.
            Model model(seed + static_cast<std::uint64_t>(done), workers);
            for (int i = 0; i < 60 && done < steps && !testing::Test::HasFailure(); ++i, ++done) {
                SCOPED_TRACE(testing::Message() << "tree seed " << seed + done - i << ", step " << i
                                                << ", " << workers << " workers");
                model.step();
            }
        }
    }
}

} // namespace
} // namespace doplet::test
