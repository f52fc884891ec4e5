#include "RelSupport.h"

#include "RecordingHost.h"
#include "TestFiles.h"
#include "th_copy1.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ; // NOLINT(readability-redundant-declaration): used by posix_spawn

namespace doplet::rel {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + ErrorText(errno));
}

std::vector<std::string> NamesInFolder(int folderFd) {
    std::vector<std::string> names;
    const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return names;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return names;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): each call reads a stream of its own
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveBelow(int folderFd) {
    for (const std::string& name : NamesInFolder(folderFd)) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            ::fchmodat(folderFd, name.c_str(), 0700, 0);
            const int child =
                ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                RemoveBelow(child);
                ::close(child);
            }
            ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(folderFd, name.c_str(), 0);
        }
    }
}

void MakeParents(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) {
            Fail("mkdir " + parent);
        }
    }
}

void WriteAll(int fd, std::string_view content, const std::string& path) {
    while (!content.empty()) {
        const ssize_t put = ::write(fd, content.data(), content.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("write " + path);
        }
        content.remove_prefix(static_cast<std::size_t>(put));
    }
}

void SetStampFd(int fd, Stamp mtime, const std::string& path) {
    const std::array<timespec, 2> times{
        timespec{0, UTIME_OMIT},
        timespec{static_cast<time_t>(mtime.sec), static_cast<long>(mtime.nsec)}};
    if (::futimens(fd, times.data()) != 0) {
        Fail("futimens " + path);
    }
}

constexpr std::uint64_t kMulA = 0x9E3779B97F4A7C15ULL;
constexpr std::uint64_t kMulB = 0xC2B2AE3D27D4EB4FULL;

std::uint64_t Rotl(std::uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

// Streams bytes in pieces whose sizes are multiples of 8, the last one of any size.
class Hasher {
public:
    void words(const unsigned char* data, std::size_t size) {
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + i, 8);
            h_ = Rotl(h_ ^ (word * kMulB), 29) * kMulA;
        }
        total_ += size - size % 8;
    }
    std::uint64_t finish(const unsigned char* tail, std::size_t size) {
        words(tail, size);
        std::uint64_t last = 0;
        std::memcpy(&last, tail + (size - size % 8), size % 8);
        total_ += size % 8;
        std::uint64_t h = h_ ^ (last * kMulB) ^ (total_ * kMulA);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDULL;
        h ^= h >> 33;
        return h;
    }

private:
    std::uint64_t h_ = 0x243F6A8885A308D3ULL;
    std::uint64_t total_ = 0;
};

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += kMulA);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

Node::Kind KindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return Node::Kind::File;
    }
    if (S_ISDIR(mode)) {
        return Node::Kind::Folder;
    }
    if (S_ISLNK(mode)) {
        return Node::Kind::Link;
    }
    return Node::Kind::Other;
}

void SnapshotBelow(int folderFd, const std::string& relative, Snapshot& out, HashCache* cache) {
    for (const std::string& name : NamesInFolder(folderFd)) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        Node node;
        node.kind = KindOf(st.st_mode);
        node.size = node.kind == Node::Kind::Folder ? 0 : static_cast<std::uint64_t>(st.st_size);
        node.mtime = StampOf(st);
        node.mode = st.st_mode & 07777;
        node.uid = st.st_uid;
        node.dev = st.st_dev;
        node.ino = st.st_ino;
        std::string path = relative;
        path += '/';
        path += name;
        if (node.kind == Node::Kind::File) {
            if (cache != nullptr) {
                node.hash = cache->hashOf(folderFd, name, st);
            } else {
                const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
                node.hash = fd >= 0 ? HashFd(fd).value_or(0) : 0;
                if (fd >= 0) {
                    ::close(fd);
                }
            }
        }
        out[path] = node;
        if (node.kind == Node::Kind::Folder) {
            const int child =
                ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                SnapshotBelow(child, path, out, cache);
                ::close(child);
            }
        }
    }
}

std::string ReadWhole(const std::string& path) {
    return Slurp(path).value_or("");
}

} // namespace

Scratch::Scratch() {
    std::string pattern = "/tmp/doplet-rel-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        Fail("mkdtemp");
    }
    ::chmod(pattern.c_str(), 0755);
    path_ = pattern;
}

Scratch::~Scratch() {
    RemoveTree(path_);
}

std::string Scratch::operator/(std::string_view relative) const {
    while (!relative.empty() && relative.front() == '/') {
        relative.remove_prefix(1);
    }
    return path_ + "/" + std::string(relative);
}

std::string Scratch::folder(std::string_view relative) const {
    std::string path = *this / relative;
    MakeParents(path + "/");
    return path;
}

void RemoveTree(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        ::unlink(path.c_str());
        return;
    }
    ::chmod(path.c_str(), 0700);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        RemoveBelow(fd);
        ::close(fd);
    }
    ::rmdir(path.c_str());
}

std::string ToString(const Stamp& stamp) {
    return std::to_string(stamp.sec) + "." + std::to_string(stamp.nsec);
}

std::int64_t StepOf(const Stamp& stamp) {
    // Rounded towards minus infinity: -2 and -1 share a step, 0 and 1 the next one.
    return stamp.sec >= 0 ? stamp.sec / 2 : (stamp.sec - 1) / 2;
}

void PutFile(const std::string& path, std::string_view content, Stamp mtime, mode_t mode) {
    MakeParents(path);
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        Fail("open " + path);
    }
    WriteAll(fd, content, path);
    if (::fchmod(fd, mode) != 0) {
        Fail("fchmod " + path);
    }
    SetStampFd(fd, mtime, path);
    ::close(fd);
}

void SaveFile(const std::string& path, std::string_view content, Stamp mtime, mode_t mode) {
    const std::size_t slash = path.rfind('/');
    const std::string aside = path.substr(0, slash + 1) + "~saving-" + path.substr(slash + 1);
    PutFile(aside, content, mtime, mode);
    if (::rename(aside.c_str(), path.c_str()) != 0) {
        Fail("rename " + aside);
    }
}

void SetStamp(const std::string& path, Stamp mtime) {
    const std::array<timespec, 2> times{
        timespec{0, UTIME_OMIT},
        timespec{static_cast<time_t>(mtime.sec), static_cast<long>(mtime.nsec)}};
    if (::utimensat(AT_FDCWD, path.c_str(), times.data(), AT_SYMLINK_NOFOLLOW) != 0) {
        Fail("utimensat " + path);
    }
}

std::optional<std::string> Slurp(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        content.append(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return content;
}

std::optional<struct stat> LookUp(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

Stamp StampOf(const struct stat& st) {
    return {st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
}

std::uint64_t Hash(std::string_view bytes) {
    Hasher hasher;
    return hasher.finish(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::optional<std::uint64_t> HashFd(int fd) {
    constexpr std::size_t kPiece = 1U << 20U;
    thread_local std::vector<unsigned char> buffer(kPiece);
    Hasher hasher;
    std::size_t filled = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + filled, kPiece - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            return hasher.finish(buffer.data(), filled);
        }
        filled += static_cast<std::size_t>(got);
        if (filled == kPiece) {
            hasher.words(buffer.data(), filled);
            filled = 0;
        }
    }
}

std::optional<std::uint64_t> HashFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    auto result = HashFd(fd);
    ::close(fd);
    return result;
}

std::string PatternBytes(std::uint64_t seed, std::size_t size) {
    std::string bytes(size, '\0');
    std::uint64_t state = seed;
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t word = SplitMix(state);
        std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, size - i));
    }
    return bytes;
}

void WritePatternFile(const std::string& path, std::uint64_t seed, std::uint64_t size) {
    MakeParents(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("open " + path);
    }
    constexpr std::uint64_t kPiece = 4U << 20U;
    std::uint64_t state = seed;
    std::string piece;
    for (std::uint64_t done = 0; done < size; done += kPiece) {
        piece =
            PatternBytes(SplitMix(state), static_cast<std::size_t>(std::min(kPiece, size - done)));
        WriteAll(fd, piece, path);
    }
    ::close(fd);
}

std::uint64_t HashCache::hashOf(int folderFd, const std::string& name, const struct stat& st) {
    if (const auto pinned = pinned_.find({st.st_dev, st.st_ino}); pinned != pinned_.end()) {
        return pinned->second;
    }
    const Key key{st.st_dev, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, st.st_size};
    if (const auto found = known_.find(key); found != known_.end()) {
        return found->second;
    }
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    const std::uint64_t hash = HashFd(fd).value_or(0);
    ::close(fd);
    bytesHashed_ += static_cast<std::uint64_t>(st.st_size);
    known_[key] = hash;
    return hash;
}

Snapshot TakeSnapshot(const std::string& root, HashCache* cache) {
    Snapshot out;
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        SnapshotBelow(fd, "", out, cache);
        ::close(fd);
    }
    return out;
}

std::vector<std::string> TemporariesIn(const Snapshot& snapshot) {
    std::vector<std::string> found;
    for (const auto& [path, node] : snapshot) {
        if (IsCopyTemporaryName(path.substr(path.rfind('/') + 1))) {
            found.push_back(path);
        }
    }
    return found;
}

HookedFileSystem::HookedFileSystem() : real_(MakeNativeFileSystem()) {}

bool HookedFileSystem::directoryExists(const std::string& path) {
    return real_->directoryExists(path);
}

std::unique_ptr<Folder> HookedFileSystem::openRoot(const std::string& path, int* error) {
    return real_->openRoot(path, error);
}

std::unique_ptr<Folder> HookedFileSystem::openSubfolder(Folder& parent, std::string_view name,
                                                        int* error) {
    return real_->openSubfolder(parent, name, error);
}

bool HookedFileSystem::readFolder(Folder& folder,
                                  const std::function<void(const FolderEntry&)>& onEntry) {
    return real_->readFolder(folder, onEntry);
}

FileStat HookedFileSystem::statFile(Folder& root, std::string_view relative) {
    FileStat result = real_->statFile(root, relative);
    if (afterStat) {
        afterStat(relative);
    }
    return result;
}

std::unique_ptr<Folder> HookedFileSystem::openTargetFolder(Folder& root, std::string_view relative,
                                                           int* error) {
    return real_->openTargetFolder(root, relative, error);
}

int HookedFileSystem::copyFile(Folder& sourceRoot, std::string_view sourceRelative,
                               const FileStat& sourceSeen, Folder& targetFolder,
                               std::string_view targetName, const FileStat& targetSeen) {
    if (beforeCopy) {
        beforeCopy(sourceRelative, targetName);
    }
    const int result = real_->copyFile(sourceRoot, sourceRelative, sourceSeen, targetFolder,
                                       targetName, targetSeen);
    if (afterCopy) {
        afterCopy(sourceRelative, targetName, result);
    }
    return result;
}

std::shared_ptr<FileList> MakeList(const std::vector<std::string>& entries, int tag) {
    auto list = std::make_shared<FileList>(tag);
    for (const std::string& entry : entries) {
        list->appendLine(entry);
    }
    return list;
}

std::size_t PassOutcome::failures() const {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [](const LogLine& l) { return l.failed(); }));
}

std::vector<std::string> PassOutcome::texts() const {
    std::vector<std::string> result;
    result.reserve(lines.size());
    for (const LogLine& line : lines) {
        result.push_back(line.text());
    }
    return result;
}

PassOutcome RunPassHere(FileSystem& fs, const PassInput& input) {
    test::RecordingHost host;
    WorkerControl control;
    PassOutcome outcome;
    outcome.completed = RunPass(fs, input, host, control);
    outcome.lines = host.logLines();
    return outcome;
}

PassOutcome ListAndRun(FileSystem& fs, const std::string& folder1, const std::string& folder2) {
    PassInput input{folder1, folder2, ListSide(fs, folder1, 1), ListSide(fs, folder2, 2)};
    return RunPassHere(fs, input);
}

PassOutcome RunPassOnWorker(std::shared_ptr<FileSystem> fs, PassInput input, int limitSeconds) {
    auto host = std::make_shared<test::RecordingHost>();
    const auto control = th_Copy::Start(std::move(fs), std::move(input), host);
    PassOutcome outcome;
    if (!host->waitForEnd(std::chrono::seconds(limitSeconds))) {
        ADD_FAILURE() << "the pass did not end within " << limitSeconds << " s: the engine hangs";
        control->requestStop();
        return outcome;
    }
    control->waitUntilFinished(std::chrono::seconds(limitSeconds));
    outcome.completed = host->completed();
    outcome.lines = host->logLines();
    EXPECT_FALSE(host->calledAfterEnd());
    return outcome;
}

std::string FailureText(const std::string& source, int code) {
    return source + "失敗しました Error－" + std::to_string(code);
}

std::string SuccessText(const std::string& source, const std::string& target) {
    return source + "->" + target;
}

std::string HelperPath() {
    return DOPLET_RELIABILITY_HELPER;
}

bool ChildOutcome::exitedWith(int code) const {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& outPath,
            const std::string& errPath) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str())); // NOLINT: posix_spawn's signature
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.empty() ? "/dev/null" : outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.empty() ? "/dev/null" : errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        errno = error;
        Fail("posix_spawn " + argv[0]);
    }
    return pid;
}

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            out.push_back(text[i] == 'n' ? '\n' : text[i] == 't' ? '\t' : text[i]);
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

} // namespace

ChildOutcome RunCommand(const std::vector<std::string>& argv) {
    std::string outPath = "/tmp/doplet-rel-out-XXXXXX";
    std::string errPath = "/tmp/doplet-rel-err-XXXXXX";
    const int outFd = ::mkstemp(outPath.data());
    const int errFd = ::mkstemp(errPath.data());
    ::close(outFd);
    ::close(errFd);
    const pid_t pid = Spawn(argv, outPath, errPath);
    ChildOutcome outcome;
    while (::waitpid(pid, &outcome.status, 0) < 0 && errno == EINTR) {
    }
    outcome.out = ReadWhole(outPath);
    outcome.err = ReadWhole(errPath);
    ::unlink(outPath.c_str());
    ::unlink(errPath.c_str());
    return outcome;
}

pid_t StartCommand(const std::vector<std::string>& argv, const std::string& stdoutPath) {
    return Spawn(argv, stdoutPath, "");
}

std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::vector<LogLine> ParseHelperLines(std::string_view out) {
    std::vector<LogLine> lines;
    while (!out.empty()) {
        const std::size_t end = out.find('\n');
        if (end == std::string_view::npos) {
            break; // a row cut off by a kill
        }
        const std::string_view row = out.substr(0, end);
        out.remove_prefix(end + 1);
        const std::size_t tab1 = row.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : row.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) {
            continue; // not a log line ("done", diagnostics)
        }
        LogLine line;
        line.error =
            static_cast<int>(std::strtol(std::string(row.substr(0, tab1)).c_str(), nullptr, 10));
        line.source = Unescape(row.substr(tab1 + 1, tab2 - tab1 - 1));
        line.target = Unescape(row.substr(tab2 + 1));
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> AsNobody(const Scratch& scratch, std::vector<std::string> helperArgs) {
    const std::string copy = scratch / "reliability_helper";
    if (!LookUp(copy)) {
        const auto bytes = Slurp(HelperPath());
        if (!bytes) {
            Fail("read " + HelperPath());
        }
        PutFile(copy, *bytes, {0, 0}, 0755);
    }
    std::vector<std::string> argv{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                  copy};
    argv.insert(argv.end(), helperArgs.begin(), helperArgs.end());
    return argv;
}

bool CanSwitchUser() {
    static const bool can = [] {
        if (::geteuid() != 0) {
            return false;
        }
        const ChildOutcome probe =
            RunCommand({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "true"});
        return probe.exitedWith(0);
    }();
    return can;
}

std::int64_t EnvNumber(const char* name, std::int64_t fallback) {
    const char* text = std::getenv(name); // NOLINT(concurrency-mt-unsafe): read before threads
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    return std::strtoll(text, nullptr, 10);
}

std::string ErrorText(int err) {
    return std::error_code(err, std::generic_category()).message();
}

bool LongTests() {
    return EnvNumber("DOPLET_LONG_TESTS", 0) != 0;
}

std::uint64_t SeedFor(std::string_view testName) {
    std::uint64_t seed = static_cast<std::uint64_t>(EnvNumber("DOPLET_SEED", 0));
    if (seed == 0) {
        seed = (static_cast<std::uint64_t>(std::random_device{}()) << 32U) ^ std::random_device{}();
    }
    std::cout << "[ seed     ] " << testName << ": DOPLET_SEED=" << seed << std::endl;
    ::testing::Test::RecordProperty("seed", std::to_string(seed));
    return seed;
}

} // namespace doplet::rel
