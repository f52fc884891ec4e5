#pragma once

// The file system of a dry run: every lookup reads the real disk, nothing is ever written. A copy
// is checked as far as can be without writing (the source still as seen, the target still as
// seen and replaceable, every folder on the way a folder or missing, the source readable and the
// folders to be written into or created in writable for this user) and then remembered, so that
// later lookups in the same pass see the planned copy as done. Safe to call from several workers
// at once.

#include "FileSystem.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace doplet::sync {

class PlanningFileSystem final : public FileSystem {
public:
    explicit PlanningFileSystem(FileSystem& real) : real_(real) {}

    bool directoryExists(const std::string& path) override { return real_.directoryExists(path); }
    std::unique_ptr<Folder> openRoot(const std::string& path, int* error) override {
        return real_.openRoot(path, error);
    }
    std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                          int* error) override {
        return real_.openSubfolder(parent, name, error);
    }
    void readFolder(Folder& folder,
                    const std::function<void(const FolderEntry&)>& onEntry) override {
        real_.readFolder(folder, onEntry);
    }
    FileStat statFile(Folder& root, std::string_view relative) override;
    std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                             Folder& sourceRoot, int* error) override;
    int checkReadable(Folder& root, std::string_view relative) override {
        return real_.checkReadable(root, relative);
    }
    int checkWritable(Folder& folder, std::string_view name) override {
        return real_.checkWritable(folder, name);
    }
    int copyFile(Folder& sourceRoot, std::string_view sourceRelative, const FileStat& sourceSeen,
                 Folder& targetFolder, std::string_view targetName, const FileStat& targetSeen,
                 CopyWatch& watch) override;

private:
    static std::string Key(const Folder& root, std::string_view relative);

    FileSystem& real_;
    std::mutex mutex_; // guards planned_
    // Targets of planned copies ("root identity" + relative path) with what they would hold.
    std::unordered_map<std::string, FileStat> planned_;
};

} // namespace doplet::sync
