#pragma once

// The real file system with faults a test can arrange: something done to the disk between two of
// the engine's steps (after a look-up, before and after a copy), folders read in a fixed order.
// Arrange everything before the engine runs; the hooks run on the engine's thread.

#include "FileSystem.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace doplet::test {

class FaultyFileSystem final : public FileSystem {
public:
    // Called with the copy's source entry ("/sub/a.txt") and the target's name ("a.txt").
    using CopyHook = std::function<void(std::string_view sourceRelative, std::string_view name)>;

    FaultyFileSystem();

    // Runs before every copy is handed to the real file system.
    void beforeCopy(CopyHook hook) { before_ = std::move(hook); }
    // Runs after every copy the real file system made, whatever its result.
    void afterCopy(CopyHook hook) { after_ = std::move(hook); }
    // Runs after every look-up of `relative` below a root, before the pass sees its result.
    void afterStat(std::function<void(std::string_view relative)> hook) {
        afterStat_ = std::move(hook);
    }
    // Folders report their entries sorted by name, so that a walk's order is known.
    void readFoldersSorted() { sorted_ = true; }
    // Looking up `relative` ("/sub/a.txt") throws std::runtime_error(message): a failure the
    // engine does not expect.
    void throwOnStatOf(std::string relative, std::string message) {
        throwRelative_ = std::move(relative);
        throwMessage_ = std::move(message);
    }

    [[nodiscard]] int copyCalls() const { return copyCalls_.load(); }

    bool directoryExists(const std::string& path) override { return real_->directoryExists(path); }
    std::unique_ptr<Folder> openRoot(const std::string& path, int* error) override {
        return real_->openRoot(path, error);
    }
    std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                          int* error) override {
        return real_->openSubfolder(parent, name, error);
    }
    void readFolder(Folder& folder,
                    const std::function<void(const FolderEntry&)>& onEntry) override;
    FileStat statFile(Folder& root, std::string_view relative) override;
    std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                             int* error) override {
        return real_->openTargetFolder(root, relative, error);
    }
    std::unique_ptr<Folder> openTargetFolderLike(Folder& root, std::string_view relative,
                                                 Folder& sourceRoot, int* error) override {
        return real_->openTargetFolderLike(root, relative, sourceRoot, error);
    }
    int copyFile(Folder& sourceRoot, std::string_view sourceRelative, const FileStat& sourceSeen,
                 Folder& targetFolder, std::string_view targetName,
                 const FileStat& targetSeen) override;

private:
    std::shared_ptr<FileSystem> real_;
    CopyHook before_;
    CopyHook after_;
    std::function<void(std::string_view)> afterStat_;
    bool sorted_ = false;
    std::string throwRelative_;
    std::string throwMessage_;
    std::atomic<int> copyCalls_{0};
};

} // namespace doplet::test
