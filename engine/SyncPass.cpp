#include "SyncPass.h"

#include "CopyStep.h"
#include "ErrorCodes.h"
#include "NameFold.h"
#include "Paths.h"
#include "th_copy1.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

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

    static constexpr std::size_t kNone = SIZE_MAX;

    // The group of line `index` when other lines fold together with it, else kNone.
    [[nodiscard]] std::size_t groupOf(std::size_t index) const {
        if (groupOf_.empty()) {
            return kNone;
        }
        const auto it = groupOf_.find(index);
        return it == groupOf_.end() || groups_[it->second].size() < 2 ? kNone : it->second;
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

// What handling one entry came to: the line to announce (none when nothing was due) and, for a
// copy, which way it went and the size of its source. `handled` is false for a copy that never
// began because the pass was stopped while it waited for its turn.
struct Outcome {
    std::optional<LogLine> line;
    std::size_t direction = 0; // 0 from side 1 to side 2, 1 the other way
    std::uint64_t size = 0;
    bool handled = true;
};

// What a copy in hand tells the pass: that it is about to begin (false: it must not, the pass was
// stopped meanwhile), how many bytes are written so far, and that it has ended.
class InHand {
public:
    InHand() = default;
    InHand(const InHand&) = delete;
    InHand& operator=(const InHand&) = delete;
    InHand(InHand&&) = delete;
    InHand& operator=(InHand&&) = delete;
    virtual ~InHand() = default;

    virtual bool begin(std::uint64_t size) = 0;
    virtual void copied(std::uint64_t bytes) = 0;
    virtual void end() = 0;
};

// One sweep: its number (1 or 2), its list and the lines of that list that may clash.
struct Sweep {
    int number;
    const FileList* list;
    const ClashGroups& clashes;

    [[nodiscard]] std::size_t size() const { return list ? list->size() : 0; }
};

// One worker handles the entries in order on the calling thread; several work through a Window.
class Pass final : private InHand {
public:
    Pass(FileSystem& fs, PassHost& host, WorkerControl& control, unsigned workers)
        : fs_(fs), host_(host), control_(control), workers_(std::max(workers, 1U)) {}

    // False when the stop request ended the pass.
    bool Run(const PassInput& input) {
        control_.waitWhileHeld();
        host_.announceStart();
        side1_ = OpenPassSide(fs_, input.folder1);
        side2_ = OpenPassSide(fs_, input.folder2);
        // One root inside the other: what lies below the inner root is that root's own tree,
        // and copying it again into the inner root would nest it one level deeper every pass.
        innerRoot_ = InnerRootOf(fs_, side1_, side2_);
        if (innerRoot_.empty()) {
            innerRoot_ = InnerRootOf(fs_, side2_, side1_);
        }
        if (!innerRoot_.empty()) {
            innerRoot_.push_back(kSeparator);
        }
        progress_.entriesTotal = CountFiles(input.list1.get()) + CountFiles(input.list2.get());
        if (!RunSweep(1, input.list1.get()) || !RunSweep(2, input.list2.get())) {
            return false;
        }
        control_.waitWhileHeld();
        host_.announceCompletion();
        return true;
    }

private:
    class Window;

    bool RunSweep(int number, const FileList* list) {
        const ClashGroups clashes(list);
        const Sweep sweep{number, list, clashes};
        return workers_ == 1 ? RunOneByOne(sweep) : RunInWindow(sweep);
    }
    bool RunInWindow(const Sweep& sweep);

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

    // Every entry of the list in order, with the check point before each and the progress after
    // each file entry; the number of entries is taken once. False when the stop request ended it.
    bool RunOneByOne(const Sweep& sweep) {
        for (std::size_t i = 0, count = sweep.size(); i < count; ++i) {
            if (!MayGoOn()) {
                return false;
            }
            const std::string_view entry = sweep.list->at(i);
            if (!IsFileEntry(entry)) {
                continue;
            }
            if (!InsideInnerRoot(entry)) {
                Announce(Handle(sweep, i, entry, *this));
            }
            ++progress_.entriesDone;
            host_.announceProgress(progress_);
        }
        return true;
    }

    // A file entry outside the inner root: decides and copies, announcing nothing.
    Outcome Handle(const Sweep& sweep, std::size_t index, std::string_view entry, InHand& inHand) {
        // Sweep 1: names that one side takes for one file are never copied in either direction.
        // Sweep 2: side 2 listed these names apart; only side 1, which it writes, may fold them.
        PassSide& listed = sweep.number == 1 ? side1_ : side2_;
        if (Clashes(sweep.clashes, index, side1_, sweep.number == 1 ? &side2_ : nullptr)) {
            Outcome clash;
            clash.line = LogLine{JoinPath(listed.text, entry), {}, kErrorFileExists};
            return clash;
        }
        const FileStat stat1 = StatSide(fs_, side1_, entry);
        if (sweep.number == 2) {
            if (DecideSweep2(AgeOf(stat1)) != CopyDirection::TwoToOne) {
                return {};
            }
            return Copy(side2_, StatSide(fs_, side2_, entry), side1_, stat1, entry, 1, inHand);
        }
        const FileStat stat2 = StatSide(fs_, side2_, entry);
        switch (DecideSweep1(AgeOf(stat1), AgeOf(stat2))) {
        case CopyDirection::OneToTwo:
            return Copy(side1_, stat1, side2_, stat2, entry, 0, inHand);
        case CopyDirection::TwoToOne:
            return Copy(side2_, stat2, side1_, stat1, entry, 1, inHand);
        case CopyDirection::None:
            break;
        }
        return {};
    }

    // Counts a copy made and announces the line, once the hold allows it.
    void Announce(Outcome outcome) {
        if (!outcome.line) {
            return;
        }
        if (!outcome.line->failed()) {
            ++progress_.filesCopied.at(outcome.direction);
            progress_.bytesCopied.at(outcome.direction) += outcome.size;
        }
        control_.waitWhileHeld(); // a finished copy's line waits for the release
        host_.announceLine(std::move(*outcome.line));
    }

    // An entry whose path on the outer side lies inside the inner root.
    [[nodiscard]] bool InsideInnerRoot(std::string_view entry) const {
        return !innerRoot_.empty() && entry.substr(0, innerRoot_.size()) == innerRoot_;
    }

    // Names that one side takes for one file: each gets a failure line with 80 (the file
    // exists), every pass, until the user renames one of them. `checked` and `alsoChecked` are
    // looked at.
    bool Clashes(const ClashGroups& clashes, std::size_t index, PassSide& checked,
                 PassSide* alsoChecked) {
        const std::vector<std::string_view>* group = clashes.of(index);
        return group != nullptr &&
               (OneFileForTwoNames(fs_, checked, *group) ||
                (alsoChecked != nullptr && OneFileForTwoNames(fs_, *alsoChecked, *group)));
    }

    Outcome Copy(PassSide& from, const FileStat& fromSeen, PassSide& to, const FileStat& toSeen,
                 std::string_view entry, std::size_t direction, InHand& inHand) {
        Outcome outcome;
        if (!inHand.begin(fromSeen.size)) {
            outcome.handled = false;
            return outcome;
        }
        const struct Ended {
            InHand& inHand;
            ~Ended() { inHand.end(); }
        } ended{inHand};
        outcome.line = CopyOne(fs_, from, fromSeen, to, toSeen, entry,
                               [&inHand](std::uint64_t bytes) { inHand.copied(bytes); });
        outcome.direction = direction;
        outcome.size = fromSeen.size;
        return outcome;
    }

    // The copy in hand of the one worker, announced as it goes.
    bool begin(std::uint64_t size) override {
        progress_.sizeInHand = size;
        return true;
    }
    void copied(std::uint64_t bytes) override {
        progress_.bytesInHand = bytes;
        host_.announceProgress(progress_);
    }
    void end() override {
        progress_.sizeInHand = 0;
        progress_.bytesInHand = 0;
    }

    FileSystem& fs_;
    PassHost& host_;
    WorkerControl& control_;
    const unsigned workers_;
    PassSide side1_;
    PassSide side2_;
    std::string innerRoot_; // "/sub/" when one root lies inside the other at /sub
    PassProgress progress_; // the announcing thread's own
};

// Several workers take the entries of one sweep in list order into a bounded window of slots and
// handle them at once; the thread that runs the pass announces each slot's result strictly in
// list order as the head of the window ends. Everything the workers share is under one mutex.
class Pass::Window {
public:
    Window(Pass& pass, const Sweep& sweep)
        : pass_(pass), sweep_(sweep), count_(sweep.size()),
          limit_(std::size_t{64} * pass.workers_) {}

    // False when the stop request ended the sweep. A failure that escaped a worker's entry is
    // thrown here once every worker has ended and every other line is announced.
    bool Run() {
        std::vector<std::thread> threads;
        threads.reserve(pass_.workers_);
        try {
            // No more workers than entries: a short sweep starts few threads, an empty one none.
            for (std::size_t k = 0; k < std::min<std::size_t>(pass_.workers_, count_); ++k) {
                {
                    const std::lock_guard lock(mutex_);
                    ++active_;
                }
                try {
                    threads.emplace_back([this] { Work(); });
                } catch (const std::system_error&) { // no more threads: go on with those there
                    const std::lock_guard lock(mutex_);
                    --active_;
                    break;
                }
            }
            if (threads.empty()) {
                return pass_.RunOneByOne(sweep_);
            }
            AnnounceInOrder();
        } catch (...) {
            {
                const std::lock_guard lock(mutex_);
                abandon_ = true;
            }
            taken_.notify_all();
            for (std::thread& thread : threads) {
                thread.join();
            }
            throw;
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        if (error_) {
            std::rethrow_exception(error_);
        }
        return !stopped_;
    }

private:
    struct Slot {
        std::size_t index = 0;
        bool counts = false; // a file entry, counted as handled once announced
        bool done = false;
        bool large = false;           // holds the turn of large files
        std::size_t group = kNoGroup; // of names that may clash
        std::uint64_t size = 0;       // of the copy begun, until announced
        std::uint64_t bytes = 0;      // of it written
        Outcome outcome;
        std::exception_ptr error;
    };
    static constexpr std::size_t kNoGroup = ClashGroups::kNone;
    static constexpr std::size_t kAnnounceRun = 16;
    static constexpr std::size_t kTakeRun = 16;
    static constexpr std::chrono::milliseconds kAnnounceEvery{20};

    // A worker's copy in hand: waits for its turn when it is large, and for the release of a
    // hold; reports its bytes for the progress announced by the pass's thread.
    class SlotInHand final : public InHand {
    public:
        SlotInHand(Window& window, Slot& slot) : window_(window), slot_(slot) {}

        // Takes the lock only for a large file's turn or a copy that must not begin: small
        // files, the most of a pass, go through on atomics.
        bool begin(std::uint64_t size) override {
            Window& w = window_;
            if (size >= kLargeFile) {
                std::unique_lock lock(w.mutex_);
                w.taken_.wait(lock, [&] { return !w.largeBusy_ || w.abandon_; });
                if (!w.abandon_) {
                    w.largeBusy_ = slot_.large = true;
                }
            }
            // No copy begins while held or after a stop, however long it waited for its turn.
            w.pass_.control_.waitWhileHeld();
            if (w.abandon_ || w.pass_.control_.stopRequested()) {
                const std::lock_guard lock(w.mutex_);
                w.stopped_ = w.stopped_ || !w.abandon_;
                ReleaseLarge();
                return false;
            }
            slot_.size = size; // read by the announcer once the slot is marked done
            w.sizeInHand_ += size;
            return true;
        }
        void copied(std::uint64_t bytes) override {
            if (bytes >= slot_.size && slot_.bytes == 0) {
                return; // a copy done in one step: its line, coming next, says all there is
            }
            {
                const std::lock_guard lock(window_.mutex_);
                window_.bytesInHand_ += bytes - slot_.bytes;
                slot_.bytes = bytes;
                window_.progressed_ = true;
            }
            window_.ended_.notify_one();
        }
        void end() override {
            if (slot_.large) {
                const std::lock_guard lock(window_.mutex_);
                ReleaseLarge();
            }
        }

    private:
        void ReleaseLarge() {
            if (slot_.large) {
                slot_.large = window_.largeBusy_ = false;
                window_.taken_.notify_all();
            }
        }
        Window& window_;
        Slot& slot_;
    };

    // Takes runs of entries in order while there is room in the window, no hold, no stop and no
    // failure, and handles each run in order. One lock per run: the results of the last run are
    // marked ended as the next is taken, so that an entry needing no copy costs little more than
    // its look-ups.
    void Work() {
        std::vector<Slot*> run;
        std::unique_lock lock(mutex_, std::defer_lock);
        while (true) {
            lock.lock();
            if (!run.empty()) {
                for (Slot* slot : run) {
                    slot->done = true;
                }
                run.clear();
                WakeAnnouncerIfDue();
                taken_.notify_all();
            }
            if (pass_.control_.isHeld()) { // the check point before each run
                lock.unlock();
                pass_.control_.waitWhileHeld();
                continue;
            }
            taken_.wait(lock,
                        [&] { return abandon_ || next_ >= count_ || window_.size() < limit_; });
            if (abandon_ || next_ >= count_) {
                break;
            }
            if (pass_.control_.stopRequested()) {
                stopped_ = true;
                break;
            }
            if (pass_.control_.isHeld()) {
                lock.unlock(); // held while waiting for room: back to the check point
                continue;
            }
            Take(lock, run);
            lock.unlock();
            for (Slot* slot : run) {
                try {
                    SlotInHand inHand(*this, *slot);
                    slot->outcome =
                        pass_.Handle(sweep_, slot->index, sweep_.list->at(slot->index), inHand);
                } catch (...) {
                    slot->error = std::current_exception();
                    abandon_ = true; // nothing new after a failure, not even in this run
                }
            }
        }
        --active_;
        ended_.notify_one();
    }

    // Takes the next entries into the window for one worker: a run that shrinks towards the end
    // of the sweep, so that the last entries are shared out too. Entries needing no handling end
    // at once. Names that may fold to one are handled in list order, one after the other, as one
    // worker would: such an entry begins a run of its own, once the earlier ones have ended.
    void Take(std::unique_lock<std::mutex>& lock, std::vector<Slot*>& run) {
        const std::size_t length =
            std::min<std::size_t>(kTakeRun, 1 + (count_ - next_) / (4 * pass_.workers_));
        for (std::size_t taken = 0; taken < length && next_ < count_ && window_.size() < limit_;
             ++taken) {
            const std::string_view entry = sweep_.list->at(next_);
            const bool counts = IsFileEntry(entry);
            const bool handled = counts && !pass_.InsideInnerRoot(entry);
            const std::size_t group = handled ? sweep_.clashes.groupOf(next_) : kNoGroup;
            if (group != kNoGroup && !run.empty()) {
                break;
            }
            Slot& slot = window_.emplace_back(); // references to deque elements stay valid
            slot.index = next_++;
            slot.counts = counts;
            slot.group = group;
            if (!handled) {
                slot.done = true;
                continue;
            }
            run.push_back(&slot);
            if (group != kNoGroup) {
                taken_.wait(lock, [&] { return !EarlierOfGroupRunning(slot); });
                break;
            }
        }
        WakeAnnouncerIfDue(); // for entries that ended at once
    }

    // The pass's thread is woken for a run of ended entries at the head of the window, not for
    // each one: waking a thread costs more than copying a small file. It also looks by itself
    // every kAnnounceEvery, so a line never waits long for the run to fill.
    void WakeAnnouncerIfDue() {
        if (window_.empty() || !window_.front().done) {
            return;
        }
        bool due = abandon_ || next_ >= count_ || window_.size() >= limit_;
        std::size_t run = 0;
        for (auto slot = window_.begin(); !due && slot != window_.end() && slot->done; ++slot) {
            due = ++run == kAnnounceRun;
        }
        if (due) {
            ended_.notify_one();
        }
    }

    [[nodiscard]] bool EarlierOfGroupRunning(const Slot& slot) const {
        if (slot.group == kNoGroup) {
            return false;
        }
        return std::any_of(window_.begin(), window_.end(), [&](const Slot& other) {
            return other.index < slot.index && other.group == slot.group && !other.done;
        });
    }

    // Announces the ended run at the head of the window, and progress as it comes, until every
    // worker has ended and every slot is announced.
    void AnnounceInOrder() {
        std::vector<Slot> run;
        std::unique_lock lock(mutex_);
        while (true) {
            ended_.wait_for(lock, kAnnounceEvery, [&] {
                return progressed_ || (window_.empty() ? active_ == 0 : window_.front().done);
            });
            if (progressed_) { // first, so that a copy's bytes are heard before its line
                progressed_ = false;
                AnnounceProgress(lock);
            } else if (!window_.empty() && window_.front().done) {
                while (!window_.empty() && window_.front().done) {
                    Slot& slot = window_.front();
                    sizeInHand_ -= slot.size;
                    bytesInHand_ -= slot.bytes;
                    run.push_back(std::move(slot));
                    window_.pop_front();
                }
                const std::uint64_t sizeInHand = sizeInHand_;
                const std::uint64_t bytesInHand = bytesInHand_;
                lock.unlock();
                taken_.notify_all(); // room in the window
                for (Slot& slot : run) {
                    AnnounceSlot(std::move(slot), sizeInHand, bytesInHand);
                }
                run.clear();
                lock.lock();
            } else if (window_.empty() && active_ == 0) {
                return;
            }
        }
    }

    // On the pass's thread, without the lock; the copies in hand are as the run was taken.
    void AnnounceSlot(Slot slot, std::uint64_t sizeInHand, std::uint64_t bytesInHand) {
        if (slot.error) {
            if (!error_) {
                error_ = slot.error; // thrown when the sweep has ended
            }
            return;
        }
        if (!slot.outcome.handled || !slot.counts) {
            return;
        }
        pass_.Announce(std::move(slot.outcome));
        ++pass_.progress_.entriesDone;
        pass_.progress_.sizeInHand = sizeInHand;
        pass_.progress_.bytesInHand = bytesInHand;
        pass_.host_.announceProgress(pass_.progress_);
    }

    // Announces the progress with the copies in hand now; called and returns with the lock held.
    void AnnounceProgress(std::unique_lock<std::mutex>& lock) {
        pass_.progress_.sizeInHand = sizeInHand_;
        pass_.progress_.bytesInHand = bytesInHand_;
        const PassProgress progress = pass_.progress_;
        lock.unlock();
        pass_.host_.announceProgress(progress);
        lock.lock();
    }

    Pass& pass_;
    const Sweep& sweep_;
    const std::size_t count_;
    const std::size_t limit_; // slots taken and not yet announced, at most

    std::mutex mutex_;
    std::condition_variable taken_; // room in the window, a slot ended, the large turn free
    std::condition_variable ended_; // for the pass's thread: a slot ended, progress, a worker gone
    std::deque<Slot> window_;       // taken and not yet announced, in list order
    std::size_t next_ = 0;          // the next entry to take
    unsigned active_ = 0;           // workers still taking entries
    std::atomic<bool> abandon_{false}; // a failure: nothing new is taken or begun
    bool stopped_ = false;             // the stop request left entries untaken or copies unbegun
    bool largeBusy_ = false;           // a large file is being copied
    bool progressed_ = false;          // bytes reported since the last progress announcement
    std::atomic<std::uint64_t> sizeInHand_{0};  // copies begun and not yet announced: sizes
    std::atomic<std::uint64_t> bytesInHand_{0}; // and their bytes written
    std::exception_ptr error_; // the first failure in list order; the pass's thread's own
};

bool Pass::RunInWindow(const Sweep& sweep) {
    return Window(*this, sweep).Run();
}

} // namespace

unsigned DefaultWorkers() {
    unsigned cores = std::thread::hardware_concurrency();
#if defined(__linux__)
    // The cores this process may run on (taskset, a container's cpuset), not all the machine has.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) {
        cores = static_cast<unsigned>(CPU_COUNT(&allowed));
    }
#endif
    return std::clamp(cores, 1U, kMaxDefaultWorkers);
}

bool RunPass(FileSystem& fs, const PassInput& input, PassHost& host, WorkerControl& control,
             unsigned workers) {
    return Pass(fs, host, control, workers).Run(input);
}

} // namespace doplet
