#pragma once

// The two-way pass: sweep 1 over folder 1's list copies the newer copy of each file over the
// older one (or to the side where it is missing); sweep 2 over folder 2's list copies what is
// missing on side 1. Nothing is deleted or moved.

#include "FileSystem.h"
#include "FolderListing.h"

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>

namespace doplet {

// Age of a file: its last-write time in two-second steps. Two times in the same step are equal.
// A missing file, a folder and anything that cannot be looked up have no age, below every age.
using Age = std::int64_t;
inline constexpr Age kNoAge = INT64_MIN;

Age AgeOf(const FileStat& stat);

enum class CopyDirection : std::uint8_t { None, OneToTwo, TwoToOne };

// Sweep 1: the older (or missing) side gets the other; equal ages copy nothing. With no age on
// either side, side 1 is copied to side 2, which fails and is logged.
CopyDirection DecideSweep1(Age age1, Age age2);
// Sweep 2: only a file missing on side 1 is copied there.
CopyDirection DecideSweep2(Age age1);

// One line of the copy window's log.
struct LogLine {
    std::string source;
    std::string target; // empty on a failure line
    int error = 0;      // 0 on a success line

    [[nodiscard]] bool failed() const { return error != 0; }
    // "source->target", or "source失敗しました Error－N".
    [[nodiscard]] std::string text() const;
};

// Everything a pass works on, taken once when it starts, on the interface thread: the two
// folder texts as the user left them and the two lists as last listed.
struct PassInput {
    std::string folder1;
    std::string folder2;
    std::shared_ptr<const FileList> list1;
    std::shared_ptr<const FileList> list2;
};

// How far a pass has come. Index 0 of the per-direction figures is folder 1 to folder 2, index 1
// folder 2 to folder 1.
struct PassProgress {
    std::uint64_t entriesTotal = 0; // file entries of both lists
    std::uint64_t entriesDone = 0;  // of those, handled so far
    std::array<std::uint64_t, 2> filesCopied{};
    std::array<std::uint64_t, 2> bytesCopied{}; // of the files copied
    std::uint64_t sizeInHand = 0;               // the file being copied now: its size
    std::uint64_t bytesInHand = 0;              // and how much of it is written
};

// The copy window as the worker sees it. The worker calls these in order from its own thread;
// an implementation hands each call to the interface thread and applies them there in order.
class PassHost {
public:
    PassHost() = default;
    PassHost(const PassHost&) = delete;
    PassHost& operator=(const PassHost&) = delete;
    PassHost(PassHost&&) = delete;
    PassHost& operator=(PassHost&&) = delete;
    virtual ~PassHost() = default;

    virtual void announceStart() = 0;
    virtual void announceLine(LogLine line) = 0;
    virtual void announceCompletion() = 0;
    // After every entry handled, and now and then while a large file is copied. Not held: it
    // may come while the copy in hand finishes. A host that shows no progress leaves it alone.
    virtual void announceProgress(const PassProgress& progress) { (void)progress; }
    // A failure escaped the pass (nothing else is reported this way): the program shows it and
    // ends. `errorClass` names the kind of failure, `message` says what happened.
    virtual void announceFatal(std::string errorClass, std::string message) = 0;
    // The last call of every worker, after completion or a stop; the worker touches nothing of
    // the host afterwards.
    virtual void workerEnded() = 0;
};

class WorkerControl;

// How many files a pass copies at once unless told otherwise: one per core it may use, at most
// kMaxDefaultWorkers. Small files are bound by system calls and gain from every core; beyond
// eight, copies into one folder mostly wait for each other in the kernel (a folder takes one new
// name at a time), and each worker holds its own buffers and descriptors.
inline constexpr unsigned kMaxDefaultWorkers = 8;
unsigned DefaultWorkers();

// A file at least this large is copied while no other such file is: one large copy alone
// already takes all the disk can give, two would only make the disk seek between them.
inline constexpr std::uint64_t kLargeFile = std::uint64_t{16} << 20U;

// Runs a whole pass: the start announcement, sweep 1, sweep 2 and the completion announcement,
// observing the hold before each file and each announcement and the stop request before each
// file. Returns false when a stop ended it (no completion announced).
//
// `workers` files are copied at once (1: one after the other, on the calling thread). Whatever
// the number, the host hears everything on the calling thread, in the order one worker would
// announce it: every line of sweep 1 in list order, then every line of sweep 2, each once its
// copy is committed or has failed. Sweep 2 begins when every copy of sweep 1 has ended. While
// held, no copy begins and nothing is announced; after a stop no copy begins, the copies under
// way end and get their lines, and nothing more is announced.
bool RunPass(FileSystem& fs, const PassInput& input, PassHost& host, WorkerControl& control,
             unsigned workers = 1);

} // namespace doplet
