// The rules both front-ends share: the program's title, the error box's full stop, the texts
// with their names put in, and which folder Execute names. Runs on Linux and under Wine (where
// the window program's error box shows the title of a Windows path).

#include "Frontend.h"
#include "Texts.h"

#include <gtest/gtest.h>
#include <set>

namespace doplet::frontend {
namespace {

TEST(Frontend, TitlesStopsTextsAndExecuteChecks) {
    const std::set<std::string> folders = {"a", "b"};
    const auto execute = [&](const char* one, const char* two) {
        return std::string(ExecuteMessage(
            CheckExecute([&](const std::string& f) { return folders.contains(f); }, one, two)));
    };
    const struct {
        const char* what;
        std::string got, want;
    } rows[] = {
        {"stop appended", WithFullStop("failed"), "failed."},
        {"after a stop", WithFullStop("done."), "done."},
        {"after a sign before it", WithFullStop("what!"), "what!"},
        {"after a sign past it", WithFullStop("a/"), "a/."},
        {"empty", WithFullStop(""), ""},
        {"after Japanese", WithFullStop("設定です"), "設定です."},
        {"title", ProgramTitle("/usr/bin/DOPLET.EXE"), "Doplet"},
        {"title at the first stop", ProgramTitle("/opt/my.prog.v2"), "my"},
        {"title in other scripts", ProgramTitle("ÄÖŸŁĲΣЖЁＡＢ.exe"), "Äöÿłĳσжёａｂ"},
        {"data type", Format(texts::kBadDataType, "CODE2"), "'CODE2' のﾃﾞｰﾀ型が不正です"},
        {"key", Format(texts::kKeyNotCreated, ""), "ｷｰ  の作成に失敗しました"},
        {"execute, both invalid", execute("x", "y"), std::string(texts::kFolder1Invalid)},
        {"execute, untrimmed", execute(" a", "b"), std::string(texts::kFolder1Invalid)},
        {"execute, folder 2 invalid", execute("a", "b "), std::string(texts::kFolder2Invalid)},
        {"execute, both valid", execute("a", "b"), ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.got, row.want) << row.what;
    }
}

} // namespace
} // namespace doplet::frontend
