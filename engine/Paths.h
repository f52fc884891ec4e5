#pragma once

// Folder texts and list entries: how a pass turns them into paths.

#include <string>
#include <string_view>

namespace doplet {

// The separator of paths and list entries: a backslash on Windows ("\sub\a.txt"), '/' elsewhere.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// A separator of a folder text: Windows takes '/' as well as its own.
constexpr bool IsSeparator(char c) {
#ifdef _WIN32
    return c == kSeparator || c == '/';
#else
    return c == kSeparator;
#endif
}

// The folder text without every character of code 32 or less at either end.
std::string TrimFolderText(std::string_view text);

// The folder text joined with a list entry ("/sub/a.txt") with exactly one separator between
// them, whether or not the text ends in one: "/data" and "/data/" give "/data/sub/a.txt"
// (on Windows, "D:\data\" and "\sub\a.txt" give "D:\data\sub\a.txt").
std::string JoinPath(std::string_view folder, std::string_view entry);

// Splits a relative entry "/sub/deeper/a.txt" into its folder "/sub/deeper" and name "a.txt".
// An entry directly below the root gives the folder "".
void SplitEntry(std::string_view entry, std::string_view* folder, std::string_view* name);

} // namespace doplet
