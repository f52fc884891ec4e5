#include "FaultyFileSystem.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace doplet::test {

FaultyFileSystem::FaultyFileSystem() : real_(MakeNativeFileSystem()) {}

bool FaultyFileSystem::directoryExists(const std::string& path) {
    return real_->directoryExists(path);
}

std::unique_ptr<Folder> FaultyFileSystem::openRoot(const std::string& path, int* error) {
    return real_->openRoot(path, error);
}

std::unique_ptr<Folder> FaultyFileSystem::openSubfolder(Folder& parent, std::string_view name,
                                                        int* error) {
    return real_->openSubfolder(parent, name, error);
}

bool FaultyFileSystem::readFolder(Folder& folder,
                                  const std::function<void(const FolderEntry&)>& onEntry) {
    if (!sorted_) {
        return real_->readFolder(folder, onEntry);
    }
    struct Stored {
        std::string name;
        FolderEntry entry;
    };
    std::vector<Stored> entries;
    const bool ok = real_->readFolder(folder, [&](const FolderEntry& entry) {
        entries.push_back({std::string(entry.name), entry});
    });
    std::sort(entries.begin(), entries.end(),
              [](const Stored& a, const Stored& b) { return a.name < b.name; });
    for (Stored& stored : entries) {
        stored.entry.name = stored.name;
        onEntry(stored.entry);
    }
    return ok;
}

FileStat FaultyFileSystem::statFile(Folder& root, std::string_view relative) {
    if (!throwRelative_.empty() && relative == throwRelative_) {
        throw std::runtime_error(throwMessage_);
    }
    return real_->statFile(root, relative);
}

std::unique_ptr<Folder> FaultyFileSystem::openTargetFolder(Folder& root, std::string_view relative,
                                                           int* error) {
    return real_->openTargetFolder(root, relative, error);
}

int FaultyFileSystem::copyFile(Folder& sourceRoot, std::string_view sourceRelative,
                               const FileStat& sourceSeen, Folder& targetFolder,
                               std::string_view targetName, const FileStat& targetSeen) {
    ++copyCalls_;
    if (const auto failure = failures_.find(targetName); failure != failures_.end()) {
        return failure->second;
    }
    if (before_) {
        before_(sourceRelative, targetName);
    }
    const int result = real_->copyFile(sourceRoot, sourceRelative, sourceSeen, targetFolder,
                                       targetName, targetSeen);
    if (after_) {
        after_(sourceRelative, targetName);
    }
    return result;
}

} // namespace doplet::test
