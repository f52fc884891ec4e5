// doplet-sync: the pass of Doplet's copy window without a window. Lists both folders, runs the
// same pass over the two lists and prints its log lines on standard output.

#include "Escape.h"
#include "FileSystem.h"
#include "FolderListing.h"
#include "Messages.h"
#include "PlanningFileSystem.h"
#include "Platform.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifndef DOPLET_VERSION
#define DOPLET_VERSION "unknown"
#endif

namespace doplet::sync {

namespace {

constexpr int kExitFailures = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

using Clock = std::chrono::steady_clock;

struct Options {
    bool dryRun = false;
    bool quiet = false;
    bool progress = false;
    bool help = false;
    bool version = false;
    unsigned jobs = 0; // files copied at once; 0: the default
    std::vector<std::string> folders;
    std::string error; // a usage error
};

// "4" of -j 4, -j4, --jobs 4 or --jobs=4: a whole number from 1 to kMaxJobs, else 0.
unsigned JobsFrom(std::string_view digits) {
    unsigned jobs = 0;
    for (const char digit : digits) {
        if (digit < '0' || digit > '9' || jobs > kMaxJobs) {
            return 0;
        }
        jobs = jobs * 10 + static_cast<unsigned>(digit - '0');
    }
    return jobs <= kMaxJobs ? jobs : 0;
}

Options ParseArguments(int argc, char** argv, const Messages& text) {
    Options options;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (optionsEnd || arg.size() < 2 || arg.front() != '-') {
            options.folders.emplace_back(arg);
        } else if (arg.starts_with("-j") || arg == "--jobs" || arg.starts_with("--jobs=")) {
            std::string_view value = arg.substr(arg.starts_with("-j") ? 2 : arg.find('=') + 1);
            if (arg == "-j" || arg == "--jobs") {
                value = i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
            }
            options.jobs = JobsFrom(value);
            if (options.jobs == 0 && options.error.empty()) {
                options.error = std::string(text.badJobs) + ": " + std::string(arg);
            }
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "-n" || arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--progress") {
            options.progress = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg.size() > 2 && arg[1] != '-' &&
                   arg.substr(1).find_first_not_of("nq") == std::string_view::npos) {
            options.dryRun = options.dryRun || arg.find('n') != std::string_view::npos;
            options.quiet = options.quiet || arg.find('q') != std::string_view::npos;
        } else if (options.error.empty()) {
            options.error = std::string(text.unknownOption) + ": " + std::string(arg);
        }
    }
    if (options.error.empty() && options.folders.size() != 2) {
        options.error = text.folderCount;
    }
    return options;
}

// "1,234,567".
std::string Grouped(std::uint64_t value) {
    const std::string total = FormatTotal(value);
    return total.substr(0, total.size() - std::string_view("Byte").size());
}

// "1 file", "2 files"; one word for both in Japanese.
std::string Counted(std::uint64_t count, std::string_view one, std::string_view many) {
    return Grouped(count) + std::string(count == 1 ? one : many);
}

// "12.3 MB".
std::string Human(double bytes) {
    static constexpr std::array<const char*, 5> kUnits{"B", "kB", "MB", "GB", "TB"};
    std::size_t unit = 0;
    while (bytes >= 1000 && unit + 1 < kUnits.size()) {
        bytes /= 1000;
        ++unit;
    }
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), unit == 0 ? "%.0f %s" : "%.1f %s", bytes,
                  kUnits.at(unit));
    return buffer.data();
}

// What the pass has announced, for the progress line and the summary. The pass writes it on its
// thread while the progress line reads it on another.
class ProgressBoard final {
public:
    void set(const PassProgress& progress) {
        const std::lock_guard lock(mutex_);
        progress_ = progress;
    }
    [[nodiscard]] PassProgress get() const {
        const std::lock_guard lock(mutex_);
        return progress_;
    }

private:
    mutable std::mutex mutex_;
    PassProgress progress_;
};

// "1:05", or "--:--" before an estimate can be made: the time the entries still to come take at
// the pace so far, or what the file in hand still needs at the rate so far, whichever is longer.
std::string TimeLeft(double seconds, double bytes, const PassProgress& progress) {
    const auto done = static_cast<double>(progress.entriesDone);
    if (seconds < 1 || done <= 0 || progress.entriesTotal == 0) {
        return "--:--";
    }
    double left = seconds * (static_cast<double>(progress.entriesTotal) - done) / done;
    if (progress.sizeInHand > progress.bytesInHand && bytes > 0) {
        left = std::max(left, static_cast<double>(progress.sizeInHand - progress.bytesInHand) *
                                  seconds / bytes);
    }
    const auto whole = static_cast<std::uint64_t>(left);
    std::array<char, 32> clock{};
    std::snprintf(clock.data(), clock.size(), "%llu:%02llu",
                  static_cast<unsigned long long>(whole / 60),
                  static_cast<unsigned long long>(whole % 60));
    return clock.data();
}

// The progress line on standard error, redrawn at most ten times a second by a thread of its
// own while the pass runs. Log lines on standard output take the terminal line in turn.
class ProgressLine final {
public:
    ProgressLine(const ProgressBoard& board, const Messages& text)
        : board_(board), text_(text), start_(Clock::now()), thread_([this] { Run(); }) {}
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ProgressLine(ProgressLine&&) = delete;
    ProgressLine& operator=(ProgressLine&&) = delete;
    ~ProgressLine() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
        std::fputs("\r\x1b[K", stderr);
    }

    // Clears the line before a log line is written; the next redraw brings it back.
    std::unique_lock<std::mutex> clearForLine() {
        std::unique_lock lock(mutex_);
        std::fputs("\r\x1b[K", stderr);
        return lock;
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        while (!changed_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; })) {
            Draw();
        }
    }

    void Draw() {
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        const PassProgress progress = board_.get();
        const double bytes = static_cast<double>(progress.bytesCopied[0] + progress.bytesCopied[1] +
                                                 progress.bytesInHand);
        std::string line(1, '\r');
        line += Grouped(progress.entriesDone);
        line += '/';
        line += Grouped(progress.entriesTotal);
        line += text_.progress;
        line += "  ";
        line += Human(bytes);
        line += text_.progressCopied;
        line += "  ";
        line += Human(seconds > 0 ? bytes / seconds : 0);
        line += "/s  ";
        line += TimeLeft(seconds, bytes, progress);
        line += text_.progressLeft;
        line += "\x1b[K";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }

    const ProgressBoard& board_;
    const Messages& text_;
    const Clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_; // last: starts once everything above is ready
};

// The copy window of a pass without a window: prints every line, counts the failures and keeps
// the pass's progress. Names are printed escaped, so that a line is always one line. Once
// standard output is closed (a reader that went away), the pass is asked to stop as on an
// interrupt: the file in hand ends, no new one starts.
class PrintingHost final : public PassHost {
public:
    PrintingHost(bool quiet, bool dryRun, WorkerControl& control)
        : quiet_(quiet), dryRun_(dryRun), control_(control) {}

    void setProgress(ProgressLine* progress) { progress_ = progress; }
    [[nodiscard]] const std::map<int, std::uint64_t>& failures() const { return failures_; }
    [[nodiscard]] std::uint64_t failureCount() const { return failureCount_; }
    [[nodiscard]] const ProgressBoard& board() const { return board_; }
    [[nodiscard]] bool outputClosed() const { return outputClosed_; }

    void announceStart() override {}
    void announceLine(LogLine line) override {
        if (line.failed()) {
            ++failures_[line.error];
            ++failureCount_;
        } else if (quiet_) {
            return;
        }
        if (outputClosed_) {
            return;
        }
        const LogLine shown{EscapedPath(line.source), EscapedPath(line.target), line.error};
        std::string text = dryRun_ ? std::string(kPlannedMark) + shown.text() : shown.text();
        text.push_back('\n');
        std::unique_lock<std::mutex> lock;
        if (progress_ != nullptr) {
            lock = progress_->clearForLine();
        }
        // A line once printed stays, whatever ends the program afterwards.
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
            std::fflush(stdout) != 0) {
            outputClosed_ = true;
            control_.requestStop();
        }
    }
    void announceCompletion() override {}
    void announceProgress(const PassProgress& progress) override { board_.set(progress); }
    void announceFatal(std::string /*errorClass*/, std::string /*message*/) override {}
    void workerEnded() override {}

private:
    const bool quiet_;
    const bool dryRun_;
    WorkerControl& control_;
    ProgressLine* progress_ = nullptr;
    ProgressBoard board_;
    std::map<int, std::uint64_t> failures_;
    std::uint64_t failureCount_ = 0;
    bool outputClosed_ = false;
};

class NoLabels final : public SizeLabels {
public:
    void setSizeCaption(int /*label*/, const std::string& /*caption*/) override {}
};

void PrintSummary(const Messages& text, const PrintingHost& host, bool dryRun, bool completed,
                  Clock::time_point start) {
    const PassProgress progress = host.board().get();
    std::string summary;
    for (std::size_t direction = 0; direction < 2; ++direction) {
        summary += std::string(direction == 0 ? text.oneToTwo : text.twoToOne) + ": " +
                   Counted(progress.filesCopied.at(direction), text.file, text.files) + ", " +
                   Counted(progress.bytesCopied.at(direction), text.byte, text.bytes) +
                   std::string(dryRun ? text.planned : text.copied) + "\n";
    }
    summary += std::string(text.failed) + ": " + Grouped(host.failureCount()) +
               std::string(text.times) + "\n";
    for (const auto& [code, count] : host.failures()) {
        summary += "  Error－" + std::to_string(code) + ": " +
                   Counted(count, text.failedFile, text.failedFiles) +
                   std::string(text.meaningSeparator) + std::string(text.meaning(code)) + "\n";
    }
    std::array<char, 32> seconds{};
    std::snprintf(seconds.data(), seconds.size(), "%.2f",
                  std::chrono::duration<double>(Clock::now() - start).count());
    summary += std::string(text.elapsed) + ": " + seconds.data() + std::string(text.seconds) + "\n";
    if (dryRun) {
        summary += std::string(text.dryRun) + "\n";
    }
    if (!completed) {
        summary += std::string(host.outputClosed() ? text.outputClosed : text.stopped) + "\n";
    }
    std::fputs(summary.c_str(), stderr);
}

int Run(int argc, char** argv) {
    const Clock::time_point start = Clock::now();
    PrepareConsole();
    const Messages& text = MessagesFor(UserPrefersJapanese());
    const Options options = ParseArguments(argc, argv, text);
    if (options.help || options.version) {
        std::fputs(options.help ? text.help.data() : "doplet-sync " DOPLET_VERSION "\n", stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "doplet-sync: %s\n%s\n", options.error.c_str(), text.tryHelp.data());
        return kExitUsage;
    }

    // The check of the window's Execute button: folder 1 first, each text taken as given.
    const std::shared_ptr<FileSystem> native = MakeNativeFileSystem();
    for (std::size_t side = 0; side < 2; ++side) {
        if (!native->directoryExists(options.folders.at(side))) {
            std::fprintf(stderr, "doplet-sync: %s: %s\n",
                         (side == 0 ? text.folder1Invalid : text.folder2Invalid).data(),
                         options.folders.at(side).c_str());
            return kExitUsage;
        }
    }

    StopOnInterrupt(nullptr); // nothing is written while the folders are listed
    PassInput input{options.folders[0], options.folders[1], nullptr, nullptr};
    NoLabels labels;
    for (int tag = 1; tag <= 2; ++tag) {
        auto list = std::make_shared<FileList>(tag);
        std::uint64_t total = 0;
        ListFolder(*native, tag == 1 ? input.folder1 : input.folder2, std::string(), *list, labels,
                   total);
        (tag == 1 ? input.list1 : input.list2) = std::move(list);
    }

    WorkerControl control;
    StopOnInterrupt(&control);
    PlanningFileSystem planning(*native);
    FileSystem& fs = options.dryRun ? static_cast<FileSystem&>(planning) : *native;
    PrintingHost host(options.quiet, options.dryRun, control);
    bool completed = false;
    {
        std::unique_ptr<ProgressLine> progress;
        if (options.progress && StandardErrorIsTerminal()) {
            progress = std::make_unique<ProgressLine>(host.board(), text);
            host.setProgress(progress.get());
        }
        try {
            completed = RunPass(fs, input, host, control,
                                options.jobs != 0 ? options.jobs : DefaultWorkers());
        } catch (const std::exception& error) {
            progress.reset();
            std::fprintf(stderr, "doplet-sync: %s: %s\n", text.fatal.data(), error.what());
            return kExitFailures;
        }
    }
    if (!options.quiet) {
        PrintSummary(text, host, options.dryRun, completed, start);
    } else if (!completed) {
        std::fprintf(stderr, "%s\n",
                     (host.outputClosed() ? text.outputClosed : text.stopped).data());
    }
    if (!completed) {
        return kExitInterrupted;
    }
    return host.failureCount() == 0 ? 0 : kExitFailures;
}

} // namespace

} // namespace doplet::sync

int main(int argc, char** argv) {
    std::vector<std::string> arguments = doplet::sync::Arguments(argc, argv);
    std::vector<char*> pointers;
    pointers.reserve(arguments.size());
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    return doplet::sync::Run(static_cast<int>(pointers.size()), pointers.data());
}
