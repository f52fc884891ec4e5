// doplet-sync end to end: the real program on real folders, against the engine's own pass.

#include "FolderListing.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace doplet;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs a shell script in a fresh working folder holding the sides "1" and "2", where
// `f PATH TEXT [TIME]` writes a file; returns its output.
std::string Shell(const std::string& script) {
    static const std::string root = "/tmp/doplet-sync-" + std::to_string(getpid());
    std::filesystem::create_directories(root);
    EXPECT_EQ(chdir(root.c_str()), 0);
    const std::string prelude = "f() { mkdir -p \"$(dirname $1)\"; printf %s \"$2\" >$1; "
                                "touch -d @${3:-1600000000} $1; }; ";
    FILE* pipe = popen((prelude + script).c_str(), "r");
    std::string text;
    for (int c; (c = fgetc(pipe)) != EOF;)
        text.push_back(static_cast<char>(c));
    pclose(pipe);
    return text;
}
constexpr const char* kFresh = "chmod -R u+w .; rm -rf 1 2 p; mkdir 1 2; ";

// Runs doplet-sync with the arguments (shell words) under the language `lang`. With `interrupt`,
// sends SIGINT once the first output has arrived; till then the unread pipe holds the pass.
Outcome Sync(const std::string& args, const std::string& lang, bool interrupt = false) {
    const std::string command =
        "LANG=" + lang + " LC_ALL= LC_MESSAGES= " DOPLET_SYNC_BIN " " + args;
    const std::string status = Shell(
        interrupt ? "mkfifo p; " + command +
                        " >p 2>err & exec 3<p; c=$(dd bs=1 count=1 <&3 2>/dev/null); kill -INT "
                        "$!; { printf %s \"$c\"; cat <&3; } >out; wait $!; echo $?"
                  : command + " >out 2>err; echo $?");
    return {std::stoi(status), Shell("cat out"), Shell("cat err")};
}
// Every name below the working folder with its type, mode and time (folders' only with
// `folderTimes`), and the checksum of every file.
std::string Snapshot(bool folderTimes = true) {
    return Shell(std::string("find 1 2 ") + (folderTimes ? "" : "-type f ") +
                 "-printf '%p %M %T@\\n' | sort && find 1 2 -type f | sort | xargs -r md5sum");
}

// The window's pass over the sides "1" and "2", straight from the engine: its log lines.
std::string EnginePass() {
    struct Host final : PassHost, SizeLabels {
        std::string lines;
        void announceStart() override {}
        void announceLine(LogLine line) override { lines += line.text() + "\n"; }
        void announceCompletion() override {}
        void announceFatal(std::string, std::string) override {}
        void workerEnded() override {}
        void setSizeCaption(int, const std::string&) override {}
    } host;
    const auto disk = MakeNativeFileSystem();
    PassInput input{"1", "2", std::make_shared<FileList>(1), std::make_shared<FileList>(2)};
    std::uint64_t total = 0;
    ListFolder(*disk, "1", "", const_cast<FileList&>(*input.list1), host, total);
    ListFolder(*disk, "2", "", const_cast<FileList&>(*input.list2), host, total);
    WorkerControl control;
    RunPass(*disk, input, host, control);
    return host.lines;
}

TEST(DopletSync, StatusLinesSummaryAndDryRunAgainstTheWindowsPass) {
    struct Row {
        std::string files, args, lang; // a script making the files, arguments, language
        int status;
        std::string message;
    } rows[] = {
        {"", "1", "C", 2, "exactly two folders are needed"},
        {"", "--frobnicate 1 2", "C", 2, "unknown option: --frobnicate"},
        {"f 1/a x", "1/a 2", "ja_JP.UTF-8", 2, "フォルダー１が有効ではありません: 1/a"},
        {"", "1 nowhere", "C", 2, "folder 2 is not valid: nowhere"},
        {"f 1/a x; f 2/a x", "1 2", "C", 0,
         "folder 2 -> folder 1: 0 files, 0 bytes copied\nfailed: 0\n"},
        {"f 1/new.txt 'only on 1'; f 2/sub/b 'only on 2'; f 1/newer.txt 'newer on 1' 1600000100;"
         "f 2/newer.txt old; f 1/locked newer 1600000100; f 2/locked old; chmod 444 2/locked",
         "1 2", "ja_JP.UTF-8", 1,
         "フォルダー１→フォルダー２: 2 ファイル, 19 バイト "
         "コピーしました\nフォルダー２→フォルダー１: "
         "1 ファイル, 9 バイト コピーしました\n失敗: 1 件 (Error－5: 1 件)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.files + " / " + row.args);
        Shell(kFresh + row.files);
        const std::string before = Snapshot();
        const Outcome dry = Sync("-n " + row.args, row.lang);
        EXPECT_EQ(Snapshot(), before) << "a dry run wrote";
        const Outcome real = Sync(row.args, row.lang);
        EXPECT_EQ(real.status, row.status);
        EXPECT_EQ(dry.status, row.status);
        EXPECT_NE(real.err.find(row.message), std::string::npos) << real.err;
        if (row.status < 2) {
            const std::string afterSync = Snapshot(false);
            Shell(kFresh + row.files);
            const std::string expected = EnginePass();
            EXPECT_EQ(Snapshot(false), afterSync);
            EXPECT_EQ(real.out, expected);
            std::string planned = dry.out;
            for (std::size_t at; (at = planned.find("(dry-run) ")) != std::string::npos;)
                planned.erase(at, 10);
            EXPECT_EQ(planned, expected);
        }
    }
    std::filesystem::remove_all("/tmp/doplet-sync-" + std::to_string(getpid()));
}

TEST(DopletSync, InterruptStopsAfterTheFileInHandAndLeavesOldOrCompleteTargets) {
    Shell(std::string(kFresh) +
          "for i in $(seq 3000); do echo new >1/f$i; done; touch -d @1600000100 1/*;"
          "for i in $(seq 2 2 3000); do echo old >2/f$i; done; touch -d @1600000000 2/*");
    const Outcome run = Sync("1 2", "C", true);
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.err.find("interrupted: stopped after the file in hand"), std::string::npos);
    const long lines = std::count(run.out.begin(), run.out.end(), '\n');
    EXPECT_TRUE(lines > 0 && lines < 3000) << lines;
    // The targets of the lines are complete, every other one old or missing; no temporaries.
    EXPECT_EQ(Shell("cd 2 && grep -lx new * | sort"), Shell("sed 's/.*->2.//' out | sort"));
    EXPECT_EQ(Shell("cd 2 && ls -A | grep -v '^f'; grep -Lx -e new -e old *"), "");
    std::filesystem::remove_all("/tmp/doplet-sync-" + std::to_string(getpid()));
}

} // namespace
