#pragma once

// doplet-sync's own texts in the user's language. The log lines are the system's own and are
// never translated.

#include <array>
#include <string_view>
#include <utility>

namespace doplet::sync {

struct Messages {
    std::string_view help;
    std::string_view tryHelp;        // after a usage error
    std::string_view unknownOption;  // followed by the option
    std::string_view folderCount;    // not exactly two folders
    std::string_view badJobs;        // -j without a number from 1 to kMaxJobs
    std::string_view folder1Invalid; // the main window's texts for Execute
    std::string_view folder2Invalid;
    std::string_view oneToTwo; // summary rows
    std::string_view twoToOne;
    std::string_view file;         // "1 file"
    std::string_view files;        // "{n} files"
    std::string_view byte;         // "1 byte"
    std::string_view bytes;        // "{n} bytes"
    std::string_view copied;       // after a direction's figures
    std::string_view planned;      // the same in a dry run
    std::string_view failed;       // "failed: {n}"
    std::string_view times;        // after the count of failures
    std::string_view failedFile;   // "1 file" of a code's count
    std::string_view failedFiles;  // "{n} files" of a code's count
    std::string_view elapsed;      // "elapsed: {s}"
    std::string_view seconds;      // unit
    std::string_view dryRun;       // closing note of a dry run
    std::string_view stopped;      // closing note of an interrupted pass
    std::string_view outputClosed; // closing note of a pass whose standard output was closed
    std::string_view progress;     // "{done}/{total} {files} {bytes} {rate} {left}" pieces:
    std::string_view progressCopied;
    std::string_view progressLeft;
    std::string_view fatal;            // a failure escaped the pass
    std::string_view meaningSeparator; // between a code's count and its meaning
    // What each failure code means; the last row stands for every code not named before it.
    std::array<std::pair<int, std::string_view>, 9> meanings;

    [[nodiscard]] std::string_view meaning(int code) const {
        for (const auto& [known, text] : meanings) {
            if (known == code) {
                return text;
            }
        }
        return meanings.back().second;
    }
};

const Messages& MessagesFor(bool japanese);

// The most files -j may copy at once.
inline constexpr unsigned kMaxJobs = 64;

// The mark in front of every line of a dry run, the same in every language.
inline constexpr std::string_view kPlannedMark = "(dry-run) ";

} // namespace doplet::sync
