#pragma once

// The copy step: copies one file of a pass to the other side, creating the target's missing
// folders, and words the log line.

#include "FileSystem.h"
#include "SyncPass.h"

#include <memory>
#include <string>
#include <string_view>

namespace doplet {

// One side of a running pass: the folder text its paths are worded with, and the root folder
// opened once when the pass started (null when it could not be opened).
struct PassSide {
    std::string text;
    std::unique_ptr<Folder> root;
    int openError = 0;
};

// Opens a side of a pass from a folder text. The text is trimmed, except where the untrimmed
// text itself names a folder (a real name may end in a blank).
PassSide OpenPassSide(FileSystem& fs, const std::string& folderText);

// Copies the entry ("/sub/a.txt") from one side to the other and returns its log line. The
// copy happens only if both files are still as the pass saw them (`fromSeen`, `toSeen`).
LogLine CopyOne(FileSystem& fs, PassSide& from, const FileStat& fromSeen, PassSide& to,
                const FileStat& toSeen, std::string_view entry);

} // namespace doplet
