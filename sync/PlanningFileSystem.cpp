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
    PlannedFolder(Folder& root, std::string_view relative, bool exists)
        : root(root), relative(relative), exists(exists) {}

    Folder& root;
    std::string relative;
    bool exists; // false when the pass would create it
};

} // namespace

std::string PlanningFileSystem::Key(const Folder& root, std::string_view relative) {
    std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(&root));
    key.push_back(':');
    key.append(relative);
    return key;
}

FileStat PlanningFileSystem::statFile(Folder& root, std::string_view relative) {
    if (!planned_.empty()) {
        if (const auto found = planned_.find(Key(root, relative)); found != planned_.end()) {
            return found->second;
        }
    }
    return real_.statFile(root, relative);
}

std::unique_ptr<Folder>
PlanningFileSystem::openTargetFolder(Folder& root, std::string_view relative, int* error) {
    // Walk down without following links, as the real step does; from the first missing folder
    // on, everything would be created.
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
            if (err != kErrorFileNotFound && err != kErrorPathNotFound) {
                *error = err; // a file or a link on the way
                return nullptr;
            }
            return std::make_unique<PlannedFolder>(root, relative, false);
        }
        current = std::move(next);
    }
    return std::make_unique<PlannedFolder>(root, relative, true);
}

int PlanningFileSystem::copyFile(Folder& sourceRoot, std::string_view sourceRelative,
                                 const FileStat& sourceSeen, Folder& targetFolder,
                                 std::string_view targetName, const FileStat& targetSeen) {
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
    }
    planned_[Key(target.root, targetRelative)] = source;
    return 0;
}

} // namespace doplet::sync
