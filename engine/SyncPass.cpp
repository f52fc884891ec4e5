#include "SyncPass.h"

#include "CopyStep.h"
#include "Paths.h"
#include "th_copy1.h"

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
    return !entry.empty() && entry.front() == '/';
}

FileStat StatSide(FileSystem& fs, PassSide& side, std::string_view entry) {
    if (!side.root) {
        FileStat missing;
        missing.error = side.openError;
        return missing;
    }
    return fs.statFile(*side.root, entry);
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

    // Visits every file entry of a list in order, with the check point before each entry; the
    // number of entries is taken once. False when the stop request ended the sweep.
    template <typename Visit> bool ForEachFile(const FileList* list, Visit visit) {
        const std::size_t count = list ? list->size() : 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!MayGoOn()) {
                return false;
            }
            const std::string_view entry = list->at(i);
            if (IsFileEntry(entry) && !InsideInnerRoot(entry)) {
                visit(entry);
            }
        }
        return true;
    }

    // An entry whose path on the outer side lies inside the inner root.
    [[nodiscard]] bool InsideInnerRoot(std::string_view entry) const {
        return !innerRoot_.empty() && entry.substr(0, innerRoot_.size()) == innerRoot_;
    }

    bool Sweep1(const FileList* list, PassSide& side1, PassSide& side2) {
        return ForEachFile(list, [&](std::string_view entry) {
            const FileStat stat1 = StatSide(fs_, side1, entry);
            const FileStat stat2 = StatSide(fs_, side2, entry);
            switch (DecideSweep1(AgeOf(stat1), AgeOf(stat2))) {
            case CopyDirection::OneToTwo:
                Copy(side1, stat1, side2, stat2, entry);
                break;
            case CopyDirection::TwoToOne:
                Copy(side2, stat2, side1, stat1, entry);
                break;
            case CopyDirection::None:
                break;
            }
        });
    }

    bool Sweep2(const FileList* list, PassSide& side1, PassSide& side2) {
        return ForEachFile(list, [&](std::string_view entry) {
            const FileStat stat1 = StatSide(fs_, side1, entry);
            if (DecideSweep2(AgeOf(stat1)) == CopyDirection::TwoToOne) {
                Copy(side2, StatSide(fs_, side2, entry), side1, stat1, entry);
            }
        });
    }

    void Copy(PassSide& from, const FileStat& fromSeen, PassSide& to, const FileStat& toSeen,
              std::string_view entry) {
        LogLine line = CopyOne(fs_, from, fromSeen, to, toSeen, entry);
        control_.waitWhileHeld(); // a finished copy's line waits for the release
        host_.announceLine(std::move(line));
    }

    FileSystem& fs_;
    PassHost& host_;
    WorkerControl& control_;
    std::string innerRoot_; // "/sub/" when one root lies inside the other at /sub
};

} // namespace

bool RunPass(FileSystem& fs, const PassInput& input, PassHost& host, WorkerControl& control) {
    return Pass(fs, host, control).Run(input);
}

} // namespace doplet
