#pragma once

// A file system that counts what a pass does, for the progress line and the closing summary:
// the entries visited (every visit looks side 1 up first) and the files copied in each direction
// with their bytes. Counters may be read from another thread while the pass runs.

#include "FileSystem.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace doplet::sync {

class MeteredFileSystem final : public FileSystem {
public:
    explicit MeteredFileSystem(FileSystem& inner) : inner_(inner) {}

    // Index 0: folder 1 to folder 2; index 1: folder 2 to folder 1.
    [[nodiscard]] std::uint64_t filesCopied(std::size_t direction) const {
        return copied_.at(direction).load(std::memory_order_relaxed);
    }
    [[nodiscard]] std::uint64_t bytesCopied(std::size_t direction) const {
        return bytes_.at(direction).load(std::memory_order_relaxed);
    }
    [[nodiscard]] std::uint64_t entriesVisited() const {
        return visited_.load(std::memory_order_relaxed);
    }

    bool directoryExists(const std::string& path) override { return inner_.directoryExists(path); }
    // The pass opens side 1 first, then side 2.
    std::unique_ptr<Folder> openRoot(const std::string& path, int* error) override {
        std::unique_ptr<Folder> root = inner_.openRoot(path, error);
        if (opened_ < roots_.size()) {
            roots_.at(opened_++) = root.get();
        }
        return root;
    }
    std::unique_ptr<Folder> openSubfolder(Folder& parent, std::string_view name,
                                          int* error) override {
        return inner_.openSubfolder(parent, name, error);
    }
    void readFolder(Folder& folder,
                    const std::function<void(const FolderEntry&)>& onEntry) override {
        inner_.readFolder(folder, onEntry);
    }
    FileStat statFile(Folder& root, std::string_view relative) override {
        if (&root == roots_[0]) {
            visited_.fetch_add(1, std::memory_order_relaxed);
        }
        return inner_.statFile(root, relative);
    }
    std::unique_ptr<Folder> openTargetFolder(Folder& root, std::string_view relative,
                                             int* error) override {
        return inner_.openTargetFolder(root, relative, error);
    }
    int copyFile(Folder& sourceRoot, std::string_view sourceRelative, const FileStat& sourceSeen,
                 Folder& targetFolder, std::string_view targetName,
                 const FileStat& targetSeen) override {
        const int error = inner_.copyFile(sourceRoot, sourceRelative, sourceSeen, targetFolder,
                                          targetName, targetSeen);
        if (error == 0) {
            const std::size_t direction = &sourceRoot == roots_[0] ? 0 : 1;
            copied_.at(direction).fetch_add(1, std::memory_order_relaxed);
            bytes_.at(direction).fetch_add(sourceSeen.size, std::memory_order_relaxed);
        }
        return error;
    }

private:
    FileSystem& inner_;
    std::array<const Folder*, 2> roots_{};
    std::size_t opened_ = 0;
    std::atomic<std::uint64_t> visited_{0};
    std::array<std::atomic<std::uint64_t>, 2> copied_{};
    std::array<std::atomic<std::uint64_t>, 2> bytes_{};
};

} // namespace doplet::sync
