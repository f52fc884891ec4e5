// Times the engine on its own, without a window, and the lower bounds it is measured against.
// Each call measures one thing once and prints one line of key=value fields; bench/run calls it
// once per round, taking turns with the other tools.
//
//   doplet_bench list DIR                 lists DIR into a file list
//   doplet_bench pass A B                 lists A and B, then runs a pass over them; the time
//                                         covers both (list_ms and pass_ms give the parts)
//   doplet_bench pass --lists-made A B    the same, timing only the pass
//   doplet_bench pass --jobs N ...        the pass copying N files at a time (default: the
//                                         engine's default, as the window's pass)
//   doplet_bench rawwalk DIR...           lower bound of a listing: getdents64 + fstatat, the
//                                         same entries kept in memory
//   doplet_bench rawstat A B              lower bound of a pass that copies nothing: two stats
//                                         per entry of A, one per entry of B, each relative to
//                                         an open folder handle (the walks are not timed)

#include "FileSystem.h"
#include "FolderListing.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start, Clock::time_point end = Clock::now()) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Peak resident memory of this process so far, in KiB.
long PeakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

class Labels final : public doplet::SizeLabels {
public:
    void setSizeCaption(int /*label*/, const std::string& caption) override { caption_ = caption; }

private:
    std::string caption_;
};

// The copy window reduced to what a pass needs: it keeps every line, as the log does.
class StoringHost final : public doplet::PassHost {
public:
    void announceStart() override { started_ = true; }
    void announceLine(doplet::LogLine line) override {
        failures_ += line.failed() ? 1 : 0;
        lines_.push_back(std::move(line));
    }
    void announceCompletion() override { completed_ = true; }
    void announceFatal(std::string errorClass, std::string message) override {
        fatal_ = std::move(errorClass) + ": " + std::move(message);
    }
    void workerEnded() override {}

    [[nodiscard]] bool completed() const { return started_ && completed_; }
    [[nodiscard]] const std::string& fatal() const { return fatal_; }
    [[nodiscard]] std::size_t lines() const { return lines_.size(); }
    [[nodiscard]] std::size_t failures() const { return failures_; }
    [[nodiscard]] const doplet::LogLine* firstFailure() const {
        for (const doplet::LogLine& line : lines_) {
            if (line.failed()) {
                return &line;
            }
        }
        return nullptr;
    }

private:
    std::vector<doplet::LogLine> lines_;
    std::size_t failures_ = 0;
    bool started_ = false;
    bool completed_ = false;
    std::string fatal_;
};

std::shared_ptr<doplet::FileList> List(doplet::FileSystem& fs, const std::string& root, int tag,
                                       std::uint64_t* total) {
    auto list = std::make_shared<doplet::FileList>(tag);
    Labels labels;
    doplet::ListFolder(fs, root, "", *list, labels, *total);
    return list;
}

// ---- lower bounds ----

// Entries kept as the listing keeps them ("/sub/a.txt"), each followed by a NUL so that the stat
// loop can hand them to the kernel as they are.
struct RawList {
    std::string bytes;
    std::vector<std::size_t> starts;
    std::uint64_t total = 0;

    void add(const std::string& relative, const char* name) {
        starts.push_back(bytes.size());
        bytes.append(relative);
        bytes.push_back('/');
        bytes.append(name);
        bytes.push_back('\0');
    }
};

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Depth first, like the listing: a subfolder's files where its entry was met, dot folders left
// out. Sizes come from one fstatat per non-folder entry; folders are known from d_type.
void RawWalk(int fd, std::string& relative, RawList& out) {
    std::vector<char> buffer(32768);
    for (;;) {
        const long got = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        for (long offset = 0; offset < got;) {
            const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer.data() + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            unsigned char type = entry->d_type;
            struct stat info {};
            if (type != DT_DIR) {
                if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue;
                }
                type = S_ISDIR(info.st_mode) ? DT_DIR : DT_REG;
            }
            if (type != DT_DIR) {
                out.add(relative, name);
                out.total += static_cast<std::uint64_t>(info.st_size);
                continue;
            }
            if (name[0] == '.') {
                continue;
            }
            const int child = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                continue;
            }
            const std::size_t length = relative.size();
            relative.push_back('/');
            relative.append(name);
            RawWalk(child, relative, out);
            relative.resize(length);
            ::close(child);
        }
    }
}

int OpenFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "cannot open " + path);
    }
    return fd;
}

RawList RawWalkRoot(const std::string& root) {
    RawList list;
    const int fd = OpenFolder(root);
    std::string relative;
    RawWalk(fd, relative, list);
    ::close(fd);
    return list;
}

// ---- commands ----

// One line: "doplet_bench workload=NAME ms=TIME key=value ... vmhwm_kb=PEAK".
void Print(const char* workload, double ms, const std::string& fields) {
    std::printf("doplet_bench workload=%s ms=%.3f %svmhwm_kb=%ld\n", workload, ms, fields.c_str(),
                PeakMemoryKb());
    std::fflush(stdout);
}

std::string Field(const char* key, std::uint64_t value) {
    return std::string(key) + "=" + std::to_string(value) + " ";
}

int CommandList(const std::string& root) {
    const auto fs = doplet::MakeNativeFileSystem();
    std::uint64_t total = 0;
    const Clock::time_point start = Clock::now();
    const auto list = List(*fs, root, 1, &total);
    const double ms = MillisecondsSince(start);
    Print("list", ms, Field("entries", list->size()) + Field("bytes", total));
    return 0;
}

int CommandPass(const std::string& folder1, const std::string& folder2, bool listsMade,
                unsigned jobs) {
    const auto fs = doplet::MakeNativeFileSystem();
    std::uint64_t total1 = 0;
    std::uint64_t total2 = 0;
    const Clock::time_point start = Clock::now();
    doplet::PassInput input;
    input.folder1 = folder1;
    input.folder2 = folder2;
    input.list1 = List(*fs, folder1, 1, &total1);
    input.list2 = List(*fs, folder2, 2, &total2);
    const Clock::time_point listed = Clock::now();
    StoringHost host;
    doplet::WorkerControl control;
    doplet::RunPass(*fs, input, host, control, jobs);
    const Clock::time_point end = Clock::now();

    const double listMs = MillisecondsSince(start, listed);
    const double passMs = MillisecondsSince(listed, end);
    char times[96];
    std::snprintf(times, sizeof times, "list_ms=%.3f pass_ms=%.3f ", listMs, passMs);
    Print(listsMade ? "pass-lists-made" : "pass", listsMade ? passMs : listMs + passMs,
          std::string(times) + Field("entries1", input.list1->size()) +
              Field("entries2", input.list2->size()) + Field("bytes1", total1) +
              Field("lines", host.lines()) + Field("failures", host.failures()) +
              Field("jobs", jobs));
    if (const doplet::LogLine* failure = host.firstFailure()) {
        std::fprintf(stderr, "doplet_bench: first failure line: %s\n", failure->text().c_str());
    }
    if (!host.fatal().empty()) {
        std::fprintf(stderr, "doplet_bench: the pass failed: %s\n", host.fatal().c_str());
        return 3;
    }
    if (!host.completed()) {
        std::fprintf(stderr, "doplet_bench: the pass did not complete\n");
        return 3;
    }
    return 0;
}

int CommandRawWalk(const std::vector<std::string>& roots) {
    const Clock::time_point start = Clock::now();
    std::uint64_t entries = 0;
    std::uint64_t total = 0;
    for (const std::string& root : roots) {
        const RawList list = RawWalkRoot(root);
        entries += list.starts.size();
        total += list.total;
    }
    const double ms = MillisecondsSince(start);
    Print("rawwalk", ms, Field("entries", entries) + Field("bytes", total));
    return 0;
}

int CommandRawStat(const std::string& folder1, const std::string& folder2) {
    const RawList list1 = RawWalkRoot(folder1);
    const RawList list2 = RawWalkRoot(folder2);
    const int root1 = OpenFolder(folder1);
    const int root2 = OpenFolder(folder2);
    std::uint64_t stats = 0;
    std::uint64_t found = 0;
    auto statEntry = [&](int root, const RawList& list, std::size_t start) {
        struct stat info {};
        // Entries begin with '/': skip it to stay relative to the folder handle.
        found += ::fstatat(root, list.bytes.c_str() + start + 1, &info, 0) == 0 ? 1 : 0;
        ++stats;
    };
    const Clock::time_point start = Clock::now();
    for (const std::size_t entry : list1.starts) {
        statEntry(root1, list1, entry);
        statEntry(root2, list1, entry);
    }
    for (const std::size_t entry : list2.starts) {
        statEntry(root1, list2, entry);
    }
    const double ms = MillisecondsSince(start);
    ::close(root1);
    ::close(root2);
    Print("rawstat", ms,
          Field("entries1", list1.starts.size()) + Field("entries2", list2.starts.size()) +
              Field("stats", stats) + Field("found", found));
    return 0;
}

int Usage() {
    std::fputs("usage: doplet_bench list DIR\n"
               "       doplet_bench pass [--lists-made] [--jobs N] DIR1 DIR2\n"
               "       doplet_bench rawwalk DIR...\n"
               "       doplet_bench rawstat DIR1 DIR2\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        if (args.empty()) {
            return Usage();
        }
        unsigned jobs = doplet::DefaultWorkers();
        if (const auto at = std::find(args.begin(), args.end(), "--jobs");
            args[0] == "pass" && at != args.end() && at + 1 != args.end()) {
            jobs = static_cast<unsigned>(std::stoul(*(at + 1)));
            args.erase(at, at + 2);
        }
        if (jobs == 0) {
            return Usage();
        }
        const std::string& command = args[0];
        if (command == "list" && args.size() == 2) {
            return CommandList(args[1]);
        }
        if (command == "pass" && args.size() == 3) {
            return CommandPass(args[1], args[2], false, jobs);
        }
        if (command == "pass" && args.size() == 4 && args[1] == "--lists-made") {
            return CommandPass(args[2], args[3], true, jobs);
        }
        if (command == "rawwalk" && args.size() >= 2) {
            return CommandRawWalk({args.begin() + 1, args.end()});
        }
        if (command == "rawstat" && args.size() == 3) {
            return CommandRawStat(args[1], args[2]);
        }
        return Usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "doplet_bench: %s\n", error.what());
        return 1;
    }
}
