#include "CopyStep.h"

#include "ErrorCodes.h"
#include "Paths.h"

namespace doplet {

PassSide OpenPassSide(FileSystem& fs, const std::string& folderText) {
    PassSide side;
    // The folder the user validated is the one copied into: trimming must not swap a folder
    // whose real name ends in a blank for another one.
    side.text = fs.directoryExists(folderText) ? folderText : TrimFolderText(folderText);
    if (side.text.empty()) { // never fall back to the working folder
        side.openError = kErrorPathNotFound;
        return side;
    }
    side.root = fs.openRoot(side.text, &side.openError);
    if (!side.root && side.openError == 0) {
        side.openError = kErrorPathNotFound;
    }
    return side;
}

namespace {

int CopyError(FileSystem& fs, PassSide& from, const FileStat& fromSeen, PassSide& to,
              const FileStat& toSeen, std::string_view entry) {
    if (!from.root) {
        return from.openError;
    }
    if (!to.root) {
        return to.openError;
    }
    // A source that is not there or is no file is refused before anything is created.
    switch (fromSeen.kind) {
    case EntryKind::File:
        break;
    case EntryKind::Missing:
        return fromSeen.error != 0 ? fromSeen.error : kErrorFileNotFound;
    default:
        return kErrorAccessDenied;
    }
    std::string_view folder;
    std::string_view name;
    SplitEntry(entry, &folder, &name);
    // The target folder is looked up afresh for every file: a folder renamed or replaced during
    // the pass must not receive a file the log line places elsewhere.
    int error = 0;
    const std::unique_ptr<Folder> target = fs.openTargetFolder(*to.root, folder, &error);
    if (!target) {
        return error != 0 ? error : kErrorPathNotFound;
    }
    return fs.copyFile(*from.root, entry, fromSeen, *target, name, toSeen);
}

} // namespace

LogLine CopyOne(FileSystem& fs, PassSide& from, const FileStat& fromSeen, PassSide& to,
                const FileStat& toSeen, std::string_view entry) {
    LogLine line;
    line.source = JoinPath(from.text, entry);
    line.error = CopyError(fs, from, fromSeen, to, toSeen, entry);
    if (line.error == 0) {
        line.target = JoinPath(to.text, entry);
    }
    return line;
}

} // namespace doplet
