#include "FolderListing.h"

#include "NameFold.h"
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

void FileList::markNameClash() {
    if (!ends_.empty()) {
        clashes_.push_back(ends_.size() - 1);
    }
}

void FileList::clear() {
    bytes_.clear();
    ends_.clear();
    clashes_.clear();
}

void FileList::reserve(std::size_t lines, std::size_t bytes) {
    ends_.reserve(lines);
    bytes_.reserve(bytes);
}

namespace {

// Folders kept open while a tree is walked: the deepest few, and every 1024th level, so that a
// folder met again after a deep subtree is re-opened in a few steps.
constexpr std::size_t kOpenWindow = 32;
constexpr std::size_t kCheckpointEvery = 1024;

// One entry of a folder, kept until the walk reaches it.
struct Pending {
    std::size_t nameBegin = 0;
    std::size_t nameLength = 0;
    std::uint64_t size = 0;
    bool folder = false;
    bool clash = false; // its name folds to the same as another's in the folder
};

// One folder on the way from the root to the folder being walked.
struct Level {
    std::unique_ptr<Folder> folder; // null while closed
    FileStat identity;              // taken when it was closed, checked when it is re-opened
    std::string names;
    std::vector<Pending> entries;
    std::size_t next = 0;
    std::size_t relativeLength = 0; // the relative path up to and including this folder's name
    bool clash = false;             // this folder's name, or one above it, clashes
};

// Walks a tree depth first without recursion: a subfolder's files appear where its entry was
// met, before the rest of its parent's entries. A folder's entries are read whole before the
// walk goes into any of them, so the folder can be closed (and re-opened) while it waits.
class Walker {
public:
    Walker(FileSystem& fs, ListTarget& list) : fs_(fs), list_(list) {}

    void Walk(std::unique_ptr<Folder> root, std::string& relative) {
        depth_ = 0;
        Level& top = LevelAt(0);
        top.folder = std::move(root);
        top.relativeLength = relative.size();
        top.clash = false;
        Read(top);
        for (;;) {
            Level& level = levels_[depth_];
            if (level.next == level.entries.size()) {
                level.folder.reset();
                if (depth_ == 0) {
                    return;
                }
                --depth_;
                relative.resize(levels_[depth_].relativeLength);
                continue;
            }
            const Pending entry = level.entries[level.next++];
            const std::string_view name(level.names.data() + entry.nameBegin, entry.nameLength);
            if (!entry.folder) {
                AddFileEntry(relative, name, entry.size);
                if (entry.clash || level.clash) {
                    list_.markNameClash();
                }
                continue;
            }
            if (!Reopen(relative)) {
                level.next = level.entries.size(); // moved or replaced meanwhile
                continue;
            }
            int error = 0;
            std::unique_ptr<Folder> child = fs_.openSubfolder(*level.folder, name, &error);
            if (!child) {
                continue; // a folder that cannot be opened contributes nothing
            }
            relative.push_back(kSeparator);
            relative.append(name);
            const bool clash = entry.clash || level.clash;
            Level& below = LevelAt(++depth_);
            below.folder = std::move(child);
            below.relativeLength = relative.size();
            below.clash = clash;
            CloseAbove(depth_);
            Read(below);
        }
    }

    [[nodiscard]] std::uint64_t total() const { return total_; }

private:
    Level& LevelAt(std::size_t depth) {
        if (levels_.size() <= depth) {
            levels_.resize(depth + 1);
        }
        return levels_[depth];
    }

    static bool KeptOpen(std::size_t depth, std::size_t deepest) {
        return depth % kCheckpointEvery == 0 || depth + kOpenWindow > deepest; // the root too
    }

    // Closes the folder that just left the window of open folders above `deepest`.
    void CloseAbove(std::size_t deepest) {
        if (deepest < kOpenWindow) {
            return;
        }
        const std::size_t leaving = deepest - kOpenWindow;
        Level& level = levels_[leaving];
        if (level.folder && !KeptOpen(leaving, deepest)) {
            level.identity = fs_.statFile(*level.folder, "");
            level.folder.reset();
        }
    }

    // Makes sure the folder at the current depth is open again, from the nearest open folder
    // above it, each one checked to be the very folder that was closed.
    bool Reopen(const std::string& relative) {
        if (levels_[depth_].folder) {
            return true;
        }
        std::size_t open = depth_;
        while (!levels_[open].folder) {
            --open; // the root is always open
        }
        for (std::size_t at = open + 1; at <= depth_; ++at) {
            const std::size_t begin = levels_[at - 1].relativeLength + 1;
            const std::string_view name =
                std::string_view(relative).substr(begin, levels_[at].relativeLength - begin);
            int error = 0;
            std::unique_ptr<Folder> folder =
                fs_.openSubfolder(*levels_[at - 1].folder, name, &error);
            if (!folder) {
                return false;
            }
            const FileStat now = fs_.statFile(*folder, "");
            if (now.device != levels_[at].identity.device ||
                now.inode != levels_[at].identity.inode) {
                return false;
            }
            levels_[at].folder = std::move(folder);
            if (!KeptOpen(at - 1, depth_)) {
                levels_[at - 1].folder.reset(); // its identity was taken when it was first closed
            }
        }
        return true;
    }

    // Reads the folder's entries, leaving out dot folders and temporaries, and marks the names
    // that fold together.
    void Read(Level& level) {
        level.names.clear();
        level.entries.clear();
        level.next = 0;
        fs_.readFolder(*level.folder, [&](const FolderEntry& entry) {
            const bool folder = entry.kind == EntryKind::Folder;
            if (folder ? entry.name.empty() || entry.name.front() == '.'
                       : IsCopyTemporaryName(entry.name)) {
                return; // dot folders are left out with everything below them
            }
            level.entries.push_back(
                {level.names.size(), entry.name.size(), entry.size, folder, false});
            level.names.append(entry.name);
        });
        MarkClashes(level);
    }

    void MarkClashes(Level& level) {
        if (level.entries.size() < 2) {
            return;
        }
        keys_.clear();
        for (std::size_t i = 0; i < level.entries.size(); ++i) {
            keys_.emplace_back(FoldedHash(NameOf(level, i)), i);
        }
        std::sort(keys_.begin(), keys_.end());
        for (std::size_t i = 1; i < keys_.size(); ++i) {
            if (keys_[i].first != keys_[i - 1].first) {
                continue;
            }
            Pending& a = level.entries[keys_[i - 1].second];
            Pending& b = level.entries[keys_[i].second];
            folded_.clear();
            AppendFolded(NameOf(level, keys_[i - 1].second), folded_);
            const std::size_t half = folded_.size();
            AppendFolded(NameOf(level, keys_[i].second), folded_);
            if (std::string_view(folded_).substr(0, half) ==
                std::string_view(folded_).substr(half)) {
                a.clash = true;
                b.clash = true;
            }
        }
    }

    static std::string_view NameOf(const Level& level, std::size_t index) {
        const Pending& entry = level.entries[index];
        return std::string_view(level.names).substr(entry.nameBegin, entry.nameLength);
    }

    void AddFileEntry(const std::string& relative, std::string_view name, std::uint64_t size) {
        line_.assign(relative);
        line_.push_back(kSeparator);
        line_.append(name);
        list_.appendLine(line_);
        total_ += size;
    }

    FileSystem& fs_;
    ListTarget& list_;
    std::vector<Level> levels_; // kept between folders, so their buffers are reused
    std::size_t depth_ = 0;
    std::vector<std::pair<std::uint64_t, std::size_t>> keys_;
    std::string folded_;
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
        walker.Walk(std::move(folder), relative);
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
