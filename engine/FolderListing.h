#pragma once

// Folder listing: every file below a root as an entry relative to it ("/sub/name.txt"), in the
// order a depth-first walk meets them, with the byte total shown in the list's size label.

#include "FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace doplet {

// The single line a list holds when its root is no folder. It names no file.
inline constexpr std::string_view kNotFoundMarker = "フォルダがみつかりません";

// What a listing appends to: an ordered list of lines that carries a tag (1 or 2).
class ListTarget {
public:
    ListTarget() = default;
    ListTarget(const ListTarget&) = default;
    ListTarget& operator=(const ListTarget&) = default;
    ListTarget(ListTarget&&) = default;
    ListTarget& operator=(ListTarget&&) = default;
    virtual ~ListTarget() = default;
    virtual void appendLine(std::string_view line) = 0;
    [[nodiscard]] virtual int tag() const = 0;
    // The line just appended may name the same file as another line where names are compared
    // without regard to case: its name, or a folder's on its way, folds to the same as another's
    // in the same folder. Rare; a pass checks such lines on the disk before it copies them.
    virtual void markNameClash() {}
};

// The two size labels: tag 1 selects the first, tag 2 the second.
class SizeLabels {
public:
    SizeLabels() = default;
    SizeLabels(const SizeLabels&) = default;
    SizeLabels& operator=(const SizeLabels&) = default;
    SizeLabels(SizeLabels&&) = default;
    SizeLabels& operator=(SizeLabels&&) = default;
    virtual ~SizeLabels() = default;
    virtual void setSizeCaption(int label, const std::string& caption) = 0;
};

// A file list kept compactly: a million entries cost little more than their bytes. Immutable
// once listed; a pass holds the lists it started with while the window lists anew.
class FileList final : public ListTarget {
public:
    explicit FileList(int tag = 0) : tag_(tag) {}

    void appendLine(std::string_view line) override;
    [[nodiscard]] int tag() const override { return tag_; }
    void markNameClash() override;

    [[nodiscard]] std::size_t size() const { return ends_.size(); }
    [[nodiscard]] bool empty() const { return ends_.empty(); }
    [[nodiscard]] std::string_view at(std::size_t index) const;
    void clear();
    void reserve(std::size_t lines, std::size_t bytes);
    // The indices of the lines marked as possible name clashes, in ascending order.
    [[nodiscard]] const std::vector<std::size_t>& nameClashes() const { return clashes_; }

private:
    int tag_;
    std::string bytes_;
    std::vector<std::size_t> ends_;
    std::vector<std::size_t> clashes_;
};

// Lists the tree below `root` into `list` (which the caller empties first), starting at the
// relative path `start` ("" or "/sub"). Sets `totalSize` to the listing's byte total and the
// caption of the label the list's tag selects. A root that is no folder yields the not-found
// marker and a zero total. Folders whose names begin with "." are left out with their contents,
// and so are the copy step's temporaries. Links are listed as entries, never followed. Any depth
// is walked, with a bounded number of folders open and without recursion.
void ListFolder(FileSystem& fs, const std::string& root, const std::string& start, ListTarget& list,
                SizeLabels& labels, std::uint64_t& totalSize,
                std::string_view thousandsSeparator = ",");

// "1,234,567Byte": the total with its digits grouped by threes.
std::string FormatTotal(std::uint64_t total, std::string_view thousandsSeparator = ",");

} // namespace doplet
