#pragma once

// The copy step: copies one file of a pass to the other side, creating the target's missing
// folders, and words the log line.

#include "FileSystem.h"
#include "SyncPass.h"

#include <cstdint>
#include <functional>
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
    // The folder the text was looked up from ("/" or the working folder when the pass started),
    // and the identity of the root: before each copy the text must still name that folder.
    std::unique_ptr<Folder> anchor;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// Opens a side of a pass from a folder text. The text is trimmed, except where the untrimmed
// text itself names a folder (a real name may end in a blank).
PassSide OpenPassSide(FileSystem& fs, const std::string& folderText);

// True while the side's folder text still names the folder the pass opened: a root renamed,
// moved or unmounted during the pass is never written into under a name the log would misstate.
bool StillNamesRoot(FileSystem& fs, PassSide& side);

// Where the other side's root lies inside this side's root, by file identity (not by text):
// "/sub/inner", or "" when it does not (or when both are the same folder).
std::string InnerRootOf(FileSystem& fs, PassSide& outer, const PassSide& inner);

// Copies the entry ("/sub/a.txt") from one side to the other and returns its log line. The
// copy happens only if both files are still as the pass saw them (`fromSeen`, `toSeen`), and it
// is committed only if both roots still are what their texts name. `onCopied` hears how many
// bytes are written so far.
LogLine CopyOne(FileSystem& fs, PassSide& from, const FileStat& fromSeen, PassSide& to,
                const FileStat& toSeen, std::string_view entry,
                const std::function<void(std::uint64_t)>& onCopied);

} // namespace doplet
