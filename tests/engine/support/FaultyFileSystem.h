#pragma once

// The real file system with faults a test can arrange: something done to the disk between two of
// the engine's steps (after a look-up, before, during and after a copy), folders read in name
// order.
// Arrange everything before the engine runs; the hooks run on the engine's threads, on several at
// once when a pass copies several files at a time.

#include "FileSystem.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace doplet::test {

class FaultyFileSystem final : public FileSystem {
public:
    // Called with the copy's source entry ("/sub/a.txt") and the target's name ("a.txt").
    using CopyHook = std::function<void(std::string_view sourceRelative, std::string_view name)>;

    // Runs before every copy is handed to the real file system.
    void beforeCopy(CopyHook hook) { before_ = std::move(hook); }
    // Runs in every copy that is complete, just before the engine is asked whether it may commit.
    void beforeCommit(CopyHook hook) { beforeCommit_ = std::move(hook); }
    // Runs after every copy the real file system made, whatever its result.
    void afterCopy(CopyHook hook) { after_ = std::move(hook); }
    // Runs after every look-up of `relative` below a root, before the pass sees its result.
    void afterStat(std::function<void(std::string_view relative)> hook) {
        afterStat_ = std::move(hook);
    }
    bool directoryExists(const std::string& path) override { return real_->directoryExists(path); }
    std::unique_ptr<Folder> openRoot(const std::string& path, int* error) override {
        return real_->openRoot(path, error);
    }
    std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                          int* error) override {
        return real_->openSubfolder(parent, name, error);
    }
    // Folders report their entries sorted by name, so that a walk's order is known.
    void readFolder(Folder& folder,
                    const std::function<void(const FolderEntry&)>& onEntry) override {
        std::vector<std::pair<std::string, FolderEntry>> entries; // the names, held
        real_->readFolder(folder, [&](const FolderEntry& e) { entries.emplace_back(e.name, e); });
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [name, entry] : entries) {
            entry.name = name;
            onEntry(entry);
        }
    }
    FileStat statFile(Folder& root, std::string_view relative) override {
        FileStat stat = real_->statFile(root, relative);
        if (afterStat_) {
            afterStat_(relative);
        }
        return stat;
    }
    std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                             Folder& sourceRoot, int* error) override {
        return real_->openTargetFolder(root, relative, sourceRoot, error);
    }
    int checkReadable(Folder& root, std::string_view relative) override {
        return real_->checkReadable(root, relative);
    }
    int checkWritable(Folder& folder, std::string_view name) override {
        return real_->checkWritable(folder, name);
    }
    int copyFile(Folder& sourceRoot, std::string_view sourceRelative, const FileStat& sourceSeen,
                 Folder& targetFolder, std::string_view targetName, const FileStat& targetSeen,
                 CopyWatch& watch) override {
        if (before_) {
            before_(sourceRelative, targetName);
        }
        struct HookedWatch final : CopyWatch {
            HookedWatch(CopyWatch& inner, std::function<bool()> commit)
                : inner(inner), commit(std::move(commit)) {}
            void copied(std::uint64_t bytes) override { inner.copied(bytes); }
            bool mayCommit() override { return commit(); }
            CopyWatch& inner;
            std::function<bool()> commit;
        } hooked(watch, [&] {
            if (beforeCommit_) {
                beforeCommit_(sourceRelative, targetName);
            }
            return watch.mayCommit();
        });
        const int result = real_->copyFile(sourceRoot, sourceRelative, sourceSeen, targetFolder,
                                           targetName, targetSeen, hooked);
        if (after_) {
            after_(sourceRelative, targetName);
        }
        return result;
    }

private:
    std::shared_ptr<FileSystem> real_ = MakeNativeFileSystem();
    CopyHook before_;
    CopyHook beforeCommit_;
    CopyHook after_;
    std::function<void(std::string_view)> afterStat_;
};

} // namespace doplet::test
