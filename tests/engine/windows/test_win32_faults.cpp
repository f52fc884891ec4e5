// The Windows back-end when single Win32 calls fail, or a file appears at the target's name just
// before the commit: each copy that cannot be made is one failure line with its code, the target
// keeps its old content (or none appears, or the new file stays), no temporary is left, and the
// next file is still copied.

#include "FaultyFileSystem.h"
#include "TestFiles.h"
#include "Win32Faults.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <utility>

namespace doplet::test {
namespace {

TEST(Win32FaultsTest, EveryFailingCallGivesItsCodeAndLosesNothing) {
    const struct { // NOLINT(clang-analyzer-optin.performance.Padding): read as a table
        const char* name;
        bool replace; // an older /s/a on side 2
        Api api;
        DWORD error;
        int skip, times;
        int code;                      // of the line for /s/a; 0: copied
        const char* planted = nullptr; // made at the target's name just before the commit
    } rows[] = {
        // clang-format off
        {"source cannot be opened", 1, Api::OpenSource, ERROR_ACCESS_DENIED, 0, 1, 5},
        {"source cannot be looked at", 0, Api::SourceInfo, ERROR_IO_DEVICE, 0, 1, 1117},
        {"source cannot be looked at after the copy", 1, Api::SourceInfo, ERROR_IO_DEVICE, 1, 1, 1117},
        {"no temporary", 0, Api::CreateTemp, ERROR_ACCESS_DENIED, 0, 1, 5},
        {"temporary names all taken", 1, Api::CreateTemp, ERROR_FILE_EXISTS, 0, 16, 80},
        {"temporary names taken but the last", 1, Api::CreateTemp, ERROR_FILE_EXISTS, 0, 15, 0},
        {"read error", 1, Api::Read, ERROR_IO_DEVICE, 0, 1, 1117},
        {"disk full", 1, Api::Write, ERROR_DISK_FULL, 0, 1, 112},
        {"time refused", 0, Api::SetInfo, ERROR_ACCESS_DENIED, 0, 1, 5},
        {"flush fails", 1, Api::Flush, ERROR_IO_DEVICE, 0, 1, 1117},
        {"a file appears at the commit", 0, Api::Move, ERROR_ALREADY_EXISTS, 0, 1, 32},
        {"the user saves a file there just before the commit", 0, Api::Move, 0, 0, 0, 32, "theirs"},
        {"commit refused", 1, Api::Move, ERROR_ACCESS_DENIED, 0, 1, 5},
        {"folder cannot be made", 0, Api::MakeFolder, ERROR_ACCESS_DENIED, 0, 1, 5},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TempDir dir;
        const std::string one = dir / "one", two = dir.makeFolder("two");
        WriteFile(one + "/s/a", "new a", {kBaseTime + 10, 0});
        WriteFile(one + "/s/b", "new b", {kBaseTime + 10, 0});
        if (row.replace) {
            WriteFile(two + "/s/a", "old", {kBaseTime, 0});
        }
        FaultyFileSystem fs;
        const PassInput input = ListBoth(fs, one, two);
        win32.reset();
        win32.fail(row.api, row.error, row.skip, row.times);
        if (row.planted != nullptr) {
            win32.before(row.api, [&, done = false]() mutable {
                if (!std::exchange(done, true)) {
                    WriteFile(two + "/s/a", row.planted);
                }
            });
        }
        const std::vector<std::string> log = RunPassHere(fs, input);
        EXPECT_GT(win32.count(row.api), row.skip) << "the call was never reached";
        win32.reset();
        EXPECT_EQ(log, (std::vector{row.code == 0 ? Copied(one, two, "/s/a")
                                                  : Failed(one, "/s/a", row.code),
                                    Copied(one, two, "/s/b")}));
        const std::optional<std::string> kept = row.planted != nullptr ? row.planted
                                                : row.code == 0        ? "new a"
                                                : row.replace ? std::optional<std::string>("old")
                                                              : std::nullopt;
        EXPECT_EQ(ReadFile(two + "/s/a"), kept);
        for (const auto& entry : std::filesystem::directory_iterator(two + "/s")) {
            EXPECT_NE(entry.path().filename().string().rfind(".doplet-", 0), 0U) << "a temporary";
        }
    }
}

} // namespace
} // namespace doplet::test
