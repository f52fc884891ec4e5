// The reliability tests' helper program: runs one pass in a process of its own, so that a test can
// kill it at any moment, run it as another user or take system calls away from it.
//
//   reliability_helper pass [--no-openat2] [--no-tmpfile] FOLDER1 FOLDER2
//       Lists both folders, runs one pass over them on a worker thread and prints every log line
//       as "<code>\t<source>\t<target>" (backslash, tab and newline escaped, code 0 on success),
//       flushed line by line, then "done". Exit status 0 when the pass completed, 1 when not,
//       3 when a failure escaped the pass.
//       --no-openat2: the kernel refuses openat2 (ENOSYS), as an older kernel would.
//       --no-tmpfile: the kernel refuses unnamed temporaries (EOPNOTSUPP), as some file systems do.
//       Exit status 77 when such a restriction cannot be put in place here.
//   reliability_helper list FOLDER
//       Prints the listing of one folder, one escaped entry per line.

#include "FolderListing.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <system_error>
#include <vector>

namespace {

using namespace doplet;

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void Print(const std::string& row) {
    std::fwrite(row.data(), 1, row.size(), stdout);
    std::fflush(stdout);
}

class PrintingHost final : public PassHost {
public:
    void announceStart() override {}
    void announceLine(LogLine line) override {
        Print(std::to_string(line.error) + "\t" + Escape(line.source) + "\t" + Escape(line.target) +
              "\n");
    }
    void announceCompletion() override { completed = true; }
    void announceFatal(std::string errorClass, std::string message) override {
        std::fprintf(stderr, "fatal %s: %s\n", errorClass.c_str(), message.c_str());
        fatal = true;
    }
    void workerEnded() override {}

    bool completed = false; // written by the worker, read after it finished
    bool fatal = false;
};

class NoLabels final : public SizeLabels {
public:
    void setSizeCaption(int /*label*/, const std::string& /*caption*/) override {}
};

std::shared_ptr<FileList> List(FileSystem& fs, const std::string& root, int tag) {
    auto list = std::make_shared<FileList>(tag);
    NoLabels labels;
    std::uint64_t total = 0;
    ListFolder(fs, root, "", *list, labels, total);
    return list;
}

// Takes openat2 and unnamed temporaries away from this process with a seccomp filter.
bool Restrict(bool noOpenat2, bool noTmpfile) {
#if defined(__x86_64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    constexpr std::uint32_t kArch = 0;
    return false;
#endif
#if !defined(__NR_openat2)
    if (noOpenat2) {
        return false;
    }
#endif
    std::vector<sock_filter> program{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
#if defined(__NR_openat2)
    if (noOpenat2) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat2, 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS));
    }
#endif
    if (noTmpfile) {
        // The flags are the third argument; their low word holds the bit that, together with
        // O_DIRECTORY, makes O_TMPFILE.
        constexpr unsigned kTmpfileBit = O_TMPFILE & ~O_DIRECTORY;
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3));
        program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])));
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kTmpfileBit, 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog prog{};
    prog.len = static_cast<unsigned short>(program.size());
    prog.filter = program.data();
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return false;
    }
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

int Pass(std::vector<std::string> args) {
    bool noOpenat2 = false;
    bool noTmpfile = false;
    std::vector<std::string> folders;
    for (std::string& arg : args) {
        if (arg == "--no-openat2") {
            noOpenat2 = true;
        } else if (arg == "--no-tmpfile") {
            noTmpfile = true;
        } else {
            folders.push_back(std::move(arg));
        }
    }
    if (folders.size() != 2) {
        std::fprintf(stderr, "usage: pass [--no-openat2] [--no-tmpfile] FOLDER1 FOLDER2\n");
        return 2;
    }
    if ((noOpenat2 || noTmpfile) && !Restrict(noOpenat2, noTmpfile)) {
        std::fprintf(stderr, "cannot restrict system calls: %s\n",
                     std::error_code(errno, std::generic_category()).message().c_str());
        return 77;
    }
    std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
    PassInput input{folders[0], folders[1], List(*fs, folders[0], 1), List(*fs, folders[1], 2)};
    auto host = std::make_shared<PrintingHost>();
    const std::shared_ptr<WorkerControl> control = th_Copy::Start(fs, std::move(input), host);
    while (!control->waitUntilFinished(std::chrono::hours(1))) {
    }
    Print("done\n");
    if (host->fatal) {
        return 3;
    }
    return host->completed ? 0 : 1;
}

int ListOne(const std::string& root) {
    std::shared_ptr<FileSystem> fs = MakeNativeFileSystem();
    const auto list = List(*fs, root, 1);
    for (std::size_t i = 0; i < list->size(); ++i) {
        Print(Escape(list->at(i)) + "\n");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "pass") {
        return Pass(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    if (args.size() == 2 && args[0] == "list") {
        return ListOne(args[1]);
    }
    std::fprintf(stderr, "usage: reliability_helper pass|list ...\n");
    return 2;
}
