// doplet-sync: the pass of Doplet's copy window without a window. Lists both folders, runs the
// same pass over the two lists and prints its log lines on standard output.

#include "FileSystem.h"
#include "FolderListing.h"
#include "Messages.h"
#include "MeteredFileSystem.h"
#include "PlanningFileSystem.h"
#include "Platform.h"
#include "SyncPass.h"
#include "th_copy1.h"

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
    std::vector<std::string> folders;
    std::string error; // a usage error
};

Options ParseArguments(int argc, char** argv, const Messages& text) {
    Options options;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (optionsEnd || arg.size() < 2 || arg.front() != '-') {
            options.folders.emplace_back(arg);
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

// The progress line on standard error, redrawn at most ten times a second by a thread of its
// own while the pass runs. Log lines on standard output take the terminal line in turn.
class ProgressLine final {
public:
    ProgressLine(const MeteredFileSystem& meter, std::uint64_t entries, const Messages& text)
        : meter_(meter), entries_(entries), text_(text), start_(Clock::now()),
          thread_([this] { Run(); }) {}
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
        const std::uint64_t visited = meter_.entriesVisited();
        const double bytes = static_cast<double>(meter_.bytesCopied(0) + meter_.bytesCopied(1));
        std::string line(1, '\r');
        line += Grouped(visited);
        line += '/';
        line += Grouped(entries_);
        line += text_.progress;
        line += "  ";
        line += Human(bytes);
        line += text_.progressCopied;
        line += "  ";
        line += Human(seconds > 0 ? bytes / seconds : 0);
        line += "/s";
        if (visited > 0 && visited <= entries_) {
            const auto left = static_cast<std::uint64_t>(
                seconds * static_cast<double>(entries_ - visited) / static_cast<double>(visited));
            std::array<char, 32> clock{};
            std::snprintf(clock.data(), clock.size(), "  %llu:%02llu",
                          static_cast<unsigned long long>(left / 60),
                          static_cast<unsigned long long>(left % 60));
            line += clock.data();
            line += text_.progressLeft;
        }
        line += "\x1b[K";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }

    const MeteredFileSystem& meter_;
    const std::uint64_t entries_;
    const Messages& text_;
    const Clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_; // last: starts once everything above is ready
};

// The copy window of a pass without a window: prints every line and counts the failures.
class PrintingHost final : public PassHost {
public:
    PrintingHost(bool quiet, bool dryRun) : quiet_(quiet), dryRun_(dryRun) {}

    void setProgress(ProgressLine* progress) { progress_ = progress; }
    [[nodiscard]] const std::map<int, std::uint64_t>& failures() const { return failures_; }
    [[nodiscard]] std::uint64_t failureCount() const { return failureCount_; }

    void announceStart() override {}
    void announceLine(LogLine line) override {
        if (line.failed()) {
            ++failures_[line.error];
            ++failureCount_;
        } else if (quiet_) {
            return;
        }
        std::string text = dryRun_ ? std::string(kPlannedMark) + line.text() : line.text();
        text.push_back('\n');
        std::unique_lock<std::mutex> lock;
        if (progress_ != nullptr) {
            lock = progress_->clearForLine();
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout); // a line once printed stays, whatever ends the program afterwards
    }
    void announceCompletion() override {}
    void announceFatal(std::string /*errorClass*/, std::string /*message*/) override {}
    void workerEnded() override {}

private:
    const bool quiet_;
    const bool dryRun_;
    ProgressLine* progress_ = nullptr;
    std::map<int, std::uint64_t> failures_;
    std::uint64_t failureCount_ = 0;
};

class NoLabels final : public SizeLabels {
public:
    void setSizeCaption(int /*label*/, const std::string& /*caption*/) override {}
};

void PrintSummary(const Messages& text, const MeteredFileSystem& meter, const PrintingHost& host,
                  bool dryRun, bool completed, Clock::time_point start) {
    std::string summary;
    for (std::size_t direction = 0; direction < 2; ++direction) {
        summary += std::string(direction == 0 ? text.oneToTwo : text.twoToOne) + ": " +
                   Grouped(meter.filesCopied(direction)) + std::string(text.files) + ", " +
                   Grouped(meter.bytesCopied(direction)) + std::string(text.bytes) +
                   std::string(dryRun ? text.planned : text.copied) + "\n";
    }
    summary +=
        std::string(text.failed) + ": " + Grouped(host.failureCount()) + std::string(text.times);
    std::string_view separator = " (";
    for (const auto& [code, count] : host.failures()) {
        summary += std::string(separator) + "Error－" + std::to_string(code) + ": " +
                   Grouped(count) + std::string(text.times);
        separator = ", ";
    }
    summary += host.failures().empty() ? "\n" : ")\n";
    std::array<char, 32> seconds{};
    std::snprintf(seconds.data(), seconds.size(), "%.2f",
                  std::chrono::duration<double>(Clock::now() - start).count());
    summary += std::string(text.elapsed) + ": " + seconds.data() + std::string(text.seconds) + "\n";
    if (dryRun) {
        summary += std::string(text.dryRun) + "\n";
    }
    if (!completed) {
        summary += std::string(text.stopped) + "\n";
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
    std::uint64_t entries = 0;
    for (int tag = 1; tag <= 2; ++tag) {
        auto list = std::make_shared<FileList>(tag);
        std::uint64_t total = 0;
        ListFolder(*native, tag == 1 ? input.folder1 : input.folder2, std::string(), *list, labels,
                   total);
        entries += list->size();
        (tag == 1 ? input.list1 : input.list2) = std::move(list);
    }

    WorkerControl control;
    StopOnInterrupt(&control);
    PlanningFileSystem planning(*native);
    MeteredFileSystem meter(options.dryRun ? static_cast<FileSystem&>(planning) : *native);
    PrintingHost host(options.quiet, options.dryRun);
    bool completed = false;
    {
        std::unique_ptr<ProgressLine> progress;
        if (options.progress && StandardErrorIsTerminal()) {
            progress = std::make_unique<ProgressLine>(meter, entries, text);
            host.setProgress(progress.get());
        }
        try {
            completed = RunPass(meter, input, host, control);
        } catch (const std::exception& error) {
            progress.reset();
            std::fprintf(stderr, "doplet-sync: %s: %s\n", text.fatal.data(), error.what());
            return kExitFailures;
        }
    }
    if (!options.quiet) {
        PrintSummary(text, meter, host, options.dryRun, completed, start);
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
