#include "FaultyFileSystem.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace doplet::test {

FaultyFileSystem::FaultyFileSystem() : real_(MakeNativeFileSystem()) {}

void FaultyFileSystem::readFolder(Folder& folder,
                                  const std::function<void(const FolderEntry&)>& onEntry) {
    if (!sorted_) {
        real_->readFolder(folder, onEntry);
        return;
    }
    std::vector<std::pair<std::string, FolderEntry>> entries;
    real_->readFolder(folder,
                      [&](const FolderEntry& entry) { entries.emplace_back(entry.name, entry); });
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [name, entry] : entries) {
        entry.name = name;
        onEntry(entry);
    }
}

FileStat FaultyFileSystem::statFile(Folder& root, std::string_view relative) {
    if (!throwRelative_.empty() && relative == throwRelative_) {
        throw std::runtime_error(throwMessage_);
    }
    FileStat stat = real_->statFile(root, relative);
    if (afterStat_) {
        afterStat_(relative);
    }
    return stat;
}

int FaultyFileSystem::copyFile(Folder& sourceRoot, std::string_view sourceRelative,
                               const FileStat& sourceSeen, Folder& targetFolder,
                               std::string_view targetName, const FileStat& targetSeen) {
    ++copyCalls_;
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
