#include "CopyStep.h"

#include "ErrorCodes.h"
#include "Paths.h"

#include <vector>

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
    if (side.root) {
        const FileStat identity = fs.statFile(*side.root, "");
        side.device = identity.device;
        side.inode = identity.inode;
        int error = 0;
        side.anchor = fs.openRoot(side.text.front() == kSeparator ? "/" : ".", &error);
    }
    return side;
}

bool StillNamesRoot(FileSystem& fs, PassSide& side) {
    if (!side.anchor) {
        return false;
    }
    const FileStat now = fs.statFile(*side.anchor, side.text);
    return now.kind == EntryKind::Folder && now.device == side.device && now.inode == side.inode;
}

namespace {

bool SameFolder(const FileStat& stat, std::uint64_t device, std::uint64_t inode) {
    return stat.kind == EntryKind::Folder && stat.device == device && stat.inode == inode;
}

// A root is rarely more than a few dozen folders below the top of its file system.
constexpr std::size_t kMaxClimb = 512;

} // namespace

std::string InnerRootOf(FileSystem& fs, PassSide& outer, const PassSide& inner) {
    if (!outer.root || !inner.root ||
        (outer.device == inner.device && outer.inode == inner.inode)) {
        return {};
    }
    // Climb from the inner root towards the top by "..", comparing identities only; names are
    // looked for only when the outer root is met, so a pass over unrelated roots reads nothing.
    std::vector<std::unique_ptr<Folder>> chain; // chain[i] is the parent of level i
    std::vector<FileStat> identities{fs.statFile(*inner.root, "")};
    Folder* current = inner.root.get();
    bool found = false;
    while (!found && chain.size() < kMaxClimb) {
        int error = 0;
        std::unique_ptr<Folder> parent = fs.openSubfolder(*current, "..", &error);
        if (!parent) {
            return {};
        }
        const FileStat identity = fs.statFile(*parent, "");
        const FileStat& below = identities.back();
        if (identity.device == below.device && identity.inode == below.inode) {
            return {}; // the top of the file system
        }
        found = SameFolder(identity, outer.device, outer.inode);
        identities.push_back(identity);
        chain.push_back(std::move(parent));
        current = chain.back().get();
    }
    if (!found) {
        return {};
    }
    std::string path;
    for (std::size_t level = chain.size(); level-- > 0;) {
        std::string name;
        Folder& parent = *chain[level];
        const FileStat& child = identities[level];
        fs.readFolder(parent, [&](const FolderEntry& entry) {
            if (name.empty() && entry.kind == EntryKind::Folder && entry.name != "." &&
                entry.name != "..") {
                const std::string relative = kSeparator + std::string(entry.name);
                if (SameFolder(fs.statFile(parent, relative), child.device, child.inode)) {
                    name = entry.name;
                }
            }
        });
        if (name.empty()) {
            return {};
        }
        path.push_back(kSeparator);
        path.append(name);
    }
    return path;
}

namespace {

// The last look before a copy is put in place: a root moved while the file was being copied
// must not receive it under a name the log would misstate.
class RootsWatch final : public CopyWatch {
public:
    RootsWatch(FileSystem& fs, PassSide& from, PassSide& to,
               const std::function<void(std::uint64_t)>& onCopied)
        : fs_(fs), from_(from), to_(to), onCopied_(onCopied) {}

    void copied(std::uint64_t bytes) override { onCopied_(bytes); }
    bool mayCommit() override { return StillNamesRoot(fs_, from_) && StillNamesRoot(fs_, to_); }

private:
    FileSystem& fs_;
    PassSide& from_;
    PassSide& to_;
    const std::function<void(std::uint64_t)>& onCopied_;
};

int CopyError(FileSystem& fs, PassSide& from, const FileStat& fromSeen, PassSide& to,
              const FileStat& toSeen, std::string_view entry,
              const std::function<void(std::uint64_t)>& onCopied) {
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
    // A target root renamed or moved since the pass opened it gets nothing more, not even a
    // folder. (A source root moved meanwhile is caught before the commit, with the target's.)
    if (!StillNamesRoot(fs, to)) {
        return kErrorPathNotFound;
    }
    std::string_view folder;
    std::string_view name;
    SplitEntry(entry, &folder, &name);
    // The target folder is looked up afresh for every file: a folder renamed or replaced during
    // the pass must not receive a file the log line places elsewhere.
    int error = kErrorPathNotFound;
    const std::unique_ptr<Folder> target =
        fs.openTargetFolder(*to.root, folder, *from.root, &error);
    if (!target) {
        return error;
    }
    RootsWatch watch(fs, from, to, onCopied);
    return fs.copyFile(*from.root, entry, fromSeen, *target, name, toSeen, watch);
}

} // namespace

LogLine CopyOne(FileSystem& fs, PassSide& from, const FileStat& fromSeen, PassSide& to,
                const FileStat& toSeen, std::string_view entry,
                const std::function<void(std::uint64_t)>& onCopied) {
    LogLine line;
    line.source = JoinPath(from.text, entry);
    line.error = CopyError(fs, from, fromSeen, to, toSeen, entry, onCopied);
    if (line.error == 0) {
        line.target = JoinPath(to.text, entry);
    }
    return line;
}

} // namespace doplet
