#include "FolderListing.h"

#include "Paths.h"

#include <algorithm>
#include <string>

namespace doplet {

void FileList::appendLine(std::string_view line) {
    bytes_.append(line);
    ends_.push_back(bytes_.size());
}

std::string_view FileList::at(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(bytes_).substr(begin, ends_[index] - begin);
}

void FileList::clear() {
    bytes_.clear();
    ends_.clear();
}

void FileList::reserve(std::size_t lines, std::size_t bytes) {
    ends_.reserve(lines);
    bytes_.reserve(bytes);
}

namespace {

class Walker {
public:
    Walker(FileSystem& fs, ListTarget& list) : fs_(fs), list_(list) {}

    // Walks the open folder `folder`, whose path below the root is `relative`, depth first: a
    // subfolder's files appear where its entry was met, before the rest of its parent's entries.
    void ScanFolder(Folder& folder, std::string& relative) {
        fs_.readFolder(folder, [&](const FolderEntry& entry) {
            if (entry.kind != EntryKind::Folder) {
                if (!IsCopyTemporaryName(entry.name)) {
                    AddFileEntry(relative, entry.name, entry.size);
                }
                return;
            }
            if (entry.name.empty() || entry.name.front() == '.') {
                return; // dot folders are left out with everything below them
            }
            int error = 0;
            const std::unique_ptr<Folder> child = fs_.openSubfolder(folder, entry.name, &error);
            if (!child) {
                return; // a folder that cannot be opened contributes nothing
            }
            const std::size_t length = relative.size();
            relative.push_back(kSeparator);
            relative.append(entry.name);
            ScanFolder(*child, relative);
            relative.resize(length);
        });
    }

    void AddFileEntry(const std::string& relative, std::string_view name, std::uint64_t size) {
        line_.assign(relative);
        line_.push_back(kSeparator);
        line_.append(name);
        list_.appendLine(line_);
        total_ += size;
    }

    [[nodiscard]] std::uint64_t total() const { return total_; }

private:
    FileSystem& fs_;
    ListTarget& list_;
    std::string line_;
    std::uint64_t total_ = 0;
};

// Opens `start` ("" or "/a/b") below an open root, one folder at a time.
std::unique_ptr<Folder> OpenStart(FileSystem& fs, std::unique_ptr<Folder> folder,
                                  std::string_view start) {
    while (folder) {
        const std::size_t first = start.find_first_not_of(kSeparator);
        if (first == std::string_view::npos) {
            break;
        }
        start.remove_prefix(first);
        const std::size_t length = std::min(start.find(kSeparator), start.size());
        int error = 0;
        folder = fs.openSubfolder(*folder, start.substr(0, length), &error);
        start.remove_prefix(length);
    }
    return folder;
}

} // namespace

void ListFolder(FileSystem& fs, const std::string& root, const std::string& start, ListTarget& list,
                SizeLabels& labels, std::uint64_t& totalSize, std::string_view thousandsSeparator) {
    totalSize = 0;
    int error = 0;
    std::unique_ptr<Folder> folder;
    if (!root.empty() && fs.directoryExists(root)) {
        folder = OpenStart(fs, fs.openRoot(root, &error), start);
    }
    if (folder) {
        Walker walker(fs, list);
        std::string relative = start;
        while (!relative.empty() && relative.back() == kSeparator) {
            relative.pop_back();
        }
        walker.ScanFolder(*folder, relative);
        totalSize = walker.total();
    } else {
        list.appendLine(kNotFoundMarker);
    }
    const int tag = list.tag();
    if (tag == 1 || tag == 2) {
        labels.setSizeCaption(tag, FormatTotal(totalSize, thousandsSeparator));
    }
}

std::string FormatTotal(std::uint64_t total, std::string_view thousandsSeparator) {
    const std::string digits = std::to_string(total);
    std::string text;
    text.reserve(digits.size() + digits.size() / 3 * thousandsSeparator.size() + 4);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            text.append(thousandsSeparator);
        }
        text.push_back(digits[i]);
    }
    text.append("Byte");
    return text;
}

} // namespace doplet
