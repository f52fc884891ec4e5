#include "SyncPass.h"

#include "CopyStep.h"
#include "ErrorCodes.h"
#include "NameFold.h"
#include "Paths.h"
#include "th_copy1.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <vector>

namespace doplet {

Age AgeOf(const FileStat& stat) {
    if (stat.kind == EntryKind::Missing || stat.kind == EntryKind::Folder) {
        return kNoAge;
    }
    // Floor division, so that times before 1970 fall into their own two-second steps too.
    const std::int64_t seconds = stat.mtimeSec;
    return seconds >= 0 ? seconds / 2 : -((-seconds + 1) / 2);
}

CopyDirection DecideSweep1(Age age1, Age age2) {
    if (age2 == kNoAge || age2 < age1) {
        return CopyDirection::OneToTwo;
    }
    if (age2 > age1) {
        return CopyDirection::TwoToOne;
    }
    return CopyDirection::None;
}

CopyDirection DecideSweep2(Age age1) {
    return age1 == kNoAge ? CopyDirection::TwoToOne : CopyDirection::None;
}

std::string LogLine::text() const {
    if (!failed()) {
        return source + "->" + target;
    }
    return source + "失敗しました Error－" + std::to_string(error);
}

namespace {

// Entries of a list are "/relative/path"; the not-found marker names no file.
bool IsFileEntry(std::string_view entry) {
    return !entry.empty() && entry.front() == kSeparator;
}

FileStat StatSide(FileSystem& fs, PassSide& side, std::string_view entry) {
    if (!side.root) {
        FileStat missing;
        missing.error = side.openError;
        return missing;
    }
    return fs.statFile(*side.root, entry);
}

// The lines of a list that may clash, grouped by their folded path: only groups of two or more
// lines are clashes to look at on the disk.
class ClashGroups {
public:
    explicit ClashGroups(const FileList* list) {
        if (list == nullptr || list->nameClashes().empty()) {
            return;
        }
        std::unordered_map<std::string, std::size_t> byKey;
        std::string key;
        for (const std::size_t index : list->nameClashes()) {
            key.clear();
            AppendFolded(list->at(index), key);
            const auto [it, added] = byKey.try_emplace(key, groups_.size());
            if (added) {
                groups_.emplace_back();
            }
            groups_[it->second].push_back(list->at(index));
            groupOf_.emplace(index, it->second);
        }
    }

    // The lines that fold together with line `index`, itself included; null when none do.
    [[nodiscard]] const std::vector<std::string_view>* of(std::size_t index) const {
        if (groupOf_.empty()) {
            return nullptr;
        }
        const auto it = groupOf_.find(index);
        if (it == groupOf_.end() || groups_[it->second].size() < 2) {
            return nullptr;
        }
        return &groups_[it->second];
    }

private:
    std::vector<std::vector<std::string_view>> groups_;
    std::unordered_map<std::size_t, std::size_t> groupOf_;
};

// True when every folder and the name of `entry` are found on the side exactly as written, not
// only as a name the file system takes for the same.
bool NamedExactly(FileSystem& fs, Folder& root, std::string_view entry) {
    std::unique_ptr<Folder> opened;
    Folder* folder = &root;
    for (;;) {
        entry.remove_prefix(std::min(entry.find_first_not_of(kSeparator), entry.size()));
        const std::size_t length = std::min(entry.find(kSeparator), entry.size());
        const std::string_view name = entry.substr(0, length);
        bool found = false;
        fs.readFolder(*folder,
                      [&](const FolderEntry& item) { found = found || item.name == name; });
        if (!found) {
            return false;
        }
        entry.remove_prefix(length);
        if (entry.find_first_not_of(kSeparator) == std::string_view::npos) {
            return true;
        }
        int error = 0;
        opened = fs.openSubfolder(*folder, name, &error);
        if (!opened) {
            return true; // found by its exact name; what lies beyond is the copy's own business
        }
        folder = opened.get();
    }
}

// True when the side's file system holds one file for two of the group's names: two names that
// are the same file, or a name found only as another name that folds to the same.
bool OneFileForTwoNames(FileSystem& fs, PassSide& side,
                        const std::vector<std::string_view>& group) {
    if (!side.root) {
        return false;
    }
    std::vector<FileStat> found;
    for (const std::string_view entry : group) {
        const FileStat stat = fs.statFile(*side.root, entry);
        if (!stat.exists()) {
            continue;
        }
        for (const FileStat& other : found) {
            if (other.device == stat.device && other.inode == stat.inode) {
                return true;
            }
        }
        if (!NamedExactly(fs, *side.root, entry)) {
            return true;
        }
        found.push_back(stat);
    }
    return false;
}

class Pass {
public:
    Pass(FileSystem& fs, PassHost& host, WorkerControl& control)
        : fs_(fs), host_(host), control_(control) {}

    // False when the stop request ended the pass.
    bool Run(const PassInput& input) {
        control_.waitWhileHeld();
        host_.announceStart();
        PassSide side1 = OpenPassSide(fs_, input.folder1);
        PassSide side2 = OpenPassSide(fs_, input.folder2);
        // One root inside the other: what lies below the inner root is that root's own tree,
        // and copying it again into the inner root would nest it one level deeper every pass.
        innerRoot_ = InnerRootOf(fs_, side1, side2);
        if (innerRoot_.empty()) {
            innerRoot_ = InnerRootOf(fs_, side2, side1);
        }
        if (!innerRoot_.empty()) {
            innerRoot_.push_back(kSeparator);
        }
        progress_.entriesTotal = CountFiles(input.list1.get()) + CountFiles(input.list2.get());
        if (!Sweep1(input.list1.get(), side1, side2) || !Sweep2(input.list2.get(), side1, side2)) {
            return false;
        }
        control_.waitWhileHeld();
        host_.announceCompletion();
        return true;
    }

private:
    // The check point before each file: wait while held, then look at the stop request.
    bool MayGoOn() {
        control_.waitWhileHeld();
        return !control_.stopRequested();
    }

    static std::uint64_t CountFiles(const FileList* list) {
        std::uint64_t files = 0;
        for (std::size_t i = 0, count = list ? list->size() : 0; i < count; ++i) {
            files += IsFileEntry(list->at(i)) ? 1 : 0;
        }
        return files;
    }

    // Visits every file entry of a list in order, with the check point before each entry and
    // the progress after it; the number of entries is taken once. False when the stop request
    // ended the sweep.
    template <typename Visit> bool ForEachFile(const FileList* list, Visit visit) {
        const std::size_t count = list ? list->size() : 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!MayGoOn()) {
                return false;
            }
            const std::string_view entry = list->at(i);
            if (!IsFileEntry(entry)) {
                continue;
            }
            if (!InsideInnerRoot(entry)) {
                visit(entry, i);
            }
            ++progress_.entriesDone;
            host_.announceProgress(progress_);
        }
        return true;
    }

    // An entry whose path on the outer side lies inside the inner root.
    [[nodiscard]] bool InsideInnerRoot(std::string_view entry) const {
        return !innerRoot_.empty() && entry.substr(0, innerRoot_.size()) == innerRoot_;
    }

    // Names that one side takes for one file are never copied in either direction: each gets a
    // failure line with 80 (the file exists), every pass, until the user renames one of them.
    // The line names the entry on the listed side; `checked` and `alsoChecked` are looked at.
    bool Clashes(const ClashGroups& clashes, std::size_t index, std::string_view entry,
                 const PassSide& listed, PassSide& checked, PassSide* alsoChecked) {
        const std::vector<std::string_view>* group = clashes.of(index);
        if (group == nullptr ||
            (!OneFileForTwoNames(fs_, checked, *group) &&
             (alsoChecked == nullptr || !OneFileForTwoNames(fs_, *alsoChecked, *group)))) {
            return false;
        }
        LogLine line;
        line.source = JoinPath(listed.text, entry);
        line.error = kErrorFileExists;
        control_.waitWhileHeld();
        host_.announceLine(std::move(line));
        return true;
    }

    bool Sweep1(const FileList* list, PassSide& side1, PassSide& side2) {
        const ClashGroups clashes(list);
        return ForEachFile(list, [&](std::string_view entry, std::size_t index) {
            if (Clashes(clashes, index, entry, side1, side1, &side2)) {
                return;
            }
            const FileStat stat1 = StatSide(fs_, side1, entry);
            const FileStat stat2 = StatSide(fs_, side2, entry);
            switch (DecideSweep1(AgeOf(stat1), AgeOf(stat2))) {
            case CopyDirection::OneToTwo:
                Copy(side1, stat1, side2, stat2, entry, 0);
                break;
            case CopyDirection::TwoToOne:
                Copy(side2, stat2, side1, stat1, entry, 1);
                break;
            case CopyDirection::None:
                break;
            }
        });
    }

    bool Sweep2(const FileList* list, PassSide& side1, PassSide& side2) {
        const ClashGroups clashes(list);
        return ForEachFile(list, [&](std::string_view entry, std::size_t index) {
            // Side 2 listed these names apart; only side 1, which this sweep writes, may fold them.
            if (Clashes(clashes, index, entry, side2, side1, nullptr)) {
                return;
            }
            const FileStat stat1 = StatSide(fs_, side1, entry);
            if (DecideSweep2(AgeOf(stat1)) == CopyDirection::TwoToOne) {
                Copy(side2, StatSide(fs_, side2, entry), side1, stat1, entry, 1);
            }
        });
    }

    // `direction`: 0 from side 1 to side 2, 1 the other way.
    void Copy(PassSide& from, const FileStat& fromSeen, PassSide& to, const FileStat& toSeen,
              std::string_view entry, std::size_t direction) {
        progress_.sizeInHand = fromSeen.size;
        LogLine line = CopyOne(fs_, from, fromSeen, to, toSeen, entry, onCopied_);
        progress_.sizeInHand = 0;
        progress_.bytesInHand = 0;
        if (!line.failed()) {
            ++progress_.filesCopied.at(direction);
            progress_.bytesCopied.at(direction) += fromSeen.size;
        }
        control_.waitWhileHeld(); // a finished copy's line waits for the release
        host_.announceLine(std::move(line));
    }

    FileSystem& fs_;
    PassHost& host_;
    WorkerControl& control_;
    std::string innerRoot_; // "/sub/" when one root lies inside the other at /sub
    PassProgress progress_;
    const std::function<void(std::uint64_t)> onCopied_ = [this](std::uint64_t bytes) {
        progress_.bytesInHand = bytes;
        host_.announceProgress(progress_);
    };
};

} // namespace

bool RunPass(FileSystem& fs, const PassInput& input, PassHost& host, WorkerControl& control) {
    return Pass(fs, host, control).Run(input);
}

} // namespace doplet
