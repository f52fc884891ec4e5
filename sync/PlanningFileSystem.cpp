#include "PlanningFileSystem.h"

#include "ErrorCodes.h"
#include "Paths.h"

#include <cstdint>

namespace doplet::sync {

namespace {

// The target folder of a planned copy: where it lies below its pass root and, when it exists
// already, the real folder.
class PlannedFolder final : public Folder {
public:
    PlannedFolder(Folder& root, std::string_view relative, bool exists,
                  std::unique_ptr<Folder> below)
        : root(root), relative(relative), exists(exists), below_(std::move(below)) {}

    // The real folder, when it exists.
    [[nodiscard]] Folder& real() const { return below_ ? *below_ : root; }

    Folder& root;
    std::string relative;
    bool exists; // false when the pass would create it

private:
    std::unique_ptr<Folder> below_; // null for the root itself
};

} // namespace

std::string PlanningFileSystem::Key(const Folder& root, std::string_view relative) {
    std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(&root));
    key.push_back(':');
    key.append(relative);
    return key;
}

FileStat PlanningFileSystem::statFile(Folder& root, std::string_view relative) {
    {
        const std::lock_guard lock(mutex_);
        if (!planned_.empty()) {
            if (const auto found = planned_.find(Key(root, relative)); found != planned_.end()) {
                return found->second;
            }
        }
    }
    return real_.statFile(root, relative);
}

std::unique_ptr<Folder> PlanningFileSystem::openTargetFolder(Folder& root,
                                                             std::string_view relative,
                                                             Folder& /*sourceRoot*/, int* error) {
    // Walk down without following links, as the real step does; from the first missing folder
    // on, everything would be created, which needs a folder this user may write into.
    std::unique_ptr<Folder> current;
    std::string_view rest = relative;
    while (true) {
        const std::size_t first = rest.find_first_not_of(kSeparator);
        if (first == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(first);
        const std::size_t length = std::min(rest.find(kSeparator), rest.size());
        int err = 0;
        std::unique_ptr<Folder> next =
            real_.openSubfolder(current ? *current : root, rest.substr(0, length), &err);
        rest.remove_prefix(length);
        if (!next) {
            if (err != kErrorFileNotFound) {
                *error = err; // a file (3) or a link (5) on the way
                return nullptr;
            }
            if (real_.checkWritable(current ? *current : root, "") != 0) {
                *error = kErrorPathNotFound; // the folder could not be created
                return nullptr;
            }
            return std::make_unique<PlannedFolder>(root, relative, false, nullptr);
        }
        current = std::move(next);
    }
    return std::make_unique<PlannedFolder>(root, relative, true, std::move(current));
}

int PlanningFileSystem::copyFile(Folder& sourceRoot, std::string_view sourceRelative,
                                 const FileStat& sourceSeen, Folder& targetFolder,
                                 std::string_view targetName, const FileStat& targetSeen,
                                 CopyWatch& watch) {
    auto& target = static_cast<PlannedFolder&>(targetFolder);
    const FileStat source = statFile(sourceRoot, sourceRelative);
    if (source.kind == EntryKind::Missing) {
        return source.error != 0 ? source.error : kErrorFileNotFound;
    }
    if (source.kind != EntryKind::File) {
        return kErrorAccessDenied;
    }
    if (!source.sameVersionAs(sourceSeen)) {
        return kErrorSharingViolation;
    }
    if (const int error = real_.checkReadable(sourceRoot, sourceRelative); error != 0) {
        return error;
    }
    if (targetName.empty() || targetName == "." || targetName == "..") {
        return kErrorAccessDenied;
    }
    std::string targetRelative = target.relative;
    targetRelative.push_back(kSeparator);
    targetRelative.append(targetName);
    if (target.exists) {
        const FileStat now = statFile(target.root, targetRelative);
        if (now.exists()) {
            if (now.kind != EntryKind::File || (now.attributes & kAttrReadOnly) != 0) {
                return kErrorAccessDenied;
            }
            if (!now.sameVersionAs(targetSeen)) {
                return kErrorSharingViolation;
            }
        }
        if (const int error = real_.checkWritable(target.real(), targetName); error != 0) {
            return error;
        }
    }
    if (!watch.mayCommit()) {
        return kErrorPathNotFound;
    }
    const std::lock_guard lock(mutex_);
    planned_[Key(target.root, targetRelative)] = source;
    return 0;
}

} // namespace doplet::sync
