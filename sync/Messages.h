#pragma once

// doplet-sync's own texts in the user's language. The log lines are the system's own and are
// never translated.

#include <string_view>

namespace doplet::sync {

struct Messages {
    std::string_view help;
    std::string_view tryHelp;        // after a usage error
    std::string_view unknownOption;  // followed by the option
    std::string_view folderCount;    // not exactly two folders
    std::string_view folder1Invalid; // the main window's texts for Execute
    std::string_view folder2Invalid;
    std::string_view oneToTwo; // summary rows
    std::string_view twoToOne;
    std::string_view files;    // "{n} files"
    std::string_view bytes;    // "{n} bytes"
    std::string_view copied;   // after a direction's figures
    std::string_view planned;  // the same in a dry run
    std::string_view failed;   // "failed: {n}"
    std::string_view times;    // after a code's count
    std::string_view elapsed;  // "elapsed: {s}"
    std::string_view seconds;  // unit
    std::string_view dryRun;   // closing note of a dry run
    std::string_view stopped;  // closing note of an interrupted pass
    std::string_view progress; // "{done}/{total} {files} {bytes} {rate} {left}" pieces:
    std::string_view progressCopied;
    std::string_view progressLeft;
    std::string_view fatal; // a failure escaped the pass
};

const Messages& MessagesFor(bool japanese);

// The mark in front of every line of a dry run, the same in every language.
inline constexpr std::string_view kPlannedMark = "(dry-run) ";

} // namespace doplet::sync
