// Builds the benchmark's folder trees, the same every time for the same seed, and changes 1% of
// a tree between two passes.
//
//   gen_tree make KIND DIR [--seed=N]        builds the tree KIND in DIR (DIR must not exist)
//   gen_tree touch KIND DIR ROUND [--seed=N] rewrites 1% of the files of a KIND tree in place
//                                            (same size, new content, a newer last-write time
//                                            that grows with ROUND)
//   gen_tree describe KIND [--seed=N]        prints what the tree holds: files, bytes, folders
//                                            and the number of files a touch changes
//
// KIND is one of
//   S      100,000 files of 0-8 KiB in 1,000 folders up to 4 deep, some with Japanese names
//   L      four files of 512 MiB
//   M      1,000,000 empty files in 1,000 folders
//   F      5,000 files of 0-8 KiB in 100 folders up to 3 deep: S for a USB stick's file system
//   tinyS, tinyL, tinyM   the same shapes, small enough for the test run

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// splitmix64: small, fast and identical on every platform and compiler.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31U);
    }

    std::uint64_t below(std::uint64_t bound) { return (next() >> 11U) % bound; }

    void fill(char* data, std::size_t size) {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            const std::uint64_t word = next();
            std::memcpy(data + i, &word, 8);
        }
        if (i < size) {
            const std::uint64_t word = next();
            std::memcpy(data + i, &word, size - i);
        }
    }

private:
    std::uint64_t state_;
};

// Last-write times: the tree's files fall within 2020; a touch moves a file into 2023 and each
// further round two steps of ten seconds later, so the touched copy is always the newer one.
constexpr std::int64_t kBaseTime = 1577836800;  // 2020-01-01 00:00:00 UTC
constexpr std::int64_t kTouchTime = 1685577600; // 2023-06-01 00:00:00 UTC
constexpr std::int64_t kYear = 365LL * 24 * 3600;
// Raised whenever a change here makes the trees come out differently.
constexpr int kLayoutVersion = 1;
constexpr std::uint64_t kTouchEvery = 100; // a touch changes every 100th file
constexpr std::uint64_t kTouchOffset = 37;

struct PlannedFile {
    std::string path; // relative to the tree's root, without a leading separator
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::uint64_t contentSeed = 0;
};

struct Layout {
    std::vector<std::string> folders; // parents before children
    std::vector<PlannedFile> files;
};

struct Shape {
    enum class Kind : std::uint8_t { Small, Large, Empty } kind = Kind::Small;
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    std::uint64_t maxDepth = 0;
    std::uint64_t maxSize = 0; // Small: sizes 0..maxSize; Large: every file this size
};

Shape ShapeOf(std::string_view kind) {
    if (kind == "S") {
        return {Shape::Kind::Small, 100000, 1000, 4, 8192};
    }
    if (kind == "F") { // S's kind of files, few enough for a USB stick's file system
        return {Shape::Kind::Small, 5000, 100, 3, 8192};
    }
    if (kind == "tinyS") {
        return {Shape::Kind::Small, 300, 30, 4, 8192};
    }
    if (kind == "L") {
        return {Shape::Kind::Large, 4, 0, 0, 512ULL << 20U};
    }
    if (kind == "tinyL") {
        return {Shape::Kind::Large, 4, 0, 0, 1ULL << 20U};
    }
    if (kind == "M") {
        return {Shape::Kind::Empty, 1000000, 1000, 1, 0};
    }
    if (kind == "tinyM") {
        return {Shape::Kind::Empty, 1000, 20, 1, 0};
    }
    throw std::invalid_argument("unknown tree kind: " + std::string(kind));
}

std::string Numbered(std::string_view prefix, std::uint64_t number, int digits,
                     std::string_view suffix) {
    std::string digitsText = std::to_string(number);
    std::string text(prefix);
    if (static_cast<int>(digitsText.size()) < digits) {
        text.append(static_cast<std::size_t>(digits) - digitsText.size(), '0');
    }
    text.append(digitsText);
    text.append(suffix);
    return text;
}

// Every eighth folder and every tenth file gets a Japanese name, with full-width and half-width
// characters and a full-width blank among them.
std::string FolderName(std::uint64_t index) {
    static constexpr std::array<std::string_view, 5> kJapanese = {"資料", "写真", "書類", "ｱｰｶｲﾌﾞ",
                                                                  "作業中"};
    if (index % 8 == 5) {
        return Numbered(kJapanese[(index / 8) % kJapanese.size()], index, 4, "");
    }
    return Numbered("dir", index, 4, "");
}

std::string FileName(std::uint64_t index) {
    static constexpr std::array<std::string_view, 5> kJapanese = {"報告書_", "写真", "議事録　",
                                                                  "ﾒﾓ_", "データ－"};
    static constexpr std::array<std::string_view, 7> kExtensions = {".txt", ".dat", ".jpg", ".csv",
                                                                    ".c",   ".md",  ""};
    const std::string_view extension = kExtensions[(index / 3) % kExtensions.size()];
    if (index % 10 == 7) {
        return Numbered(kJapanese[(index / 10) % kJapanese.size()], index, 6, extension);
    }
    return Numbered("file", index, 6, extension);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

Layout MakeLayout(const Shape& shape, std::uint64_t seed) {
    Random random(seed);
    Layout layout;
    switch (shape.kind) {
    case Shape::Kind::Small: {
        // Each new folder goes below a random folder that is not yet at the deepest level.
        std::vector<std::uint64_t> depths = {0};
        std::vector<std::size_t> open = {0};
        layout.folders.emplace_back();
        for (std::uint64_t i = 0; i < shape.folders; ++i) {
            const std::size_t parent = open[random.below(open.size())];
            layout.folders.push_back(Join(layout.folders[parent], FolderName(i)));
            depths.push_back(depths[parent] + 1);
            if (depths.back() < shape.maxDepth) {
                open.push_back(layout.folders.size() - 1);
            }
        }
        for (std::uint64_t i = 0; i < shape.files; ++i) {
            PlannedFile file;
            file.path = Join(layout.folders[random.below(layout.folders.size())], FileName(i));
            file.size = random.below(shape.maxSize + 1);
            file.mtime = kBaseTime + static_cast<std::int64_t>(random.below(kYear));
            file.contentSeed = random.next();
            layout.files.push_back(std::move(file));
        }
        break;
    }
    case Shape::Kind::Large:
        layout.folders.emplace_back();
        for (std::uint64_t i = 0; i < shape.files; ++i) {
            PlannedFile file;
            file.path =
                i == 3 ? Numbered("大きいファイル", i, 2, ".bin") : Numbered("large", i, 2, ".bin");
            file.size = shape.maxSize;
            file.mtime = kBaseTime + static_cast<std::int64_t>(random.below(kYear));
            file.contentSeed = random.next();
            layout.files.push_back(std::move(file));
        }
        break;
    case Shape::Kind::Empty: {
        layout.folders.emplace_back();
        const std::uint64_t perFolder = shape.files / shape.folders;
        for (std::uint64_t f = 0; f < shape.folders; ++f) {
            layout.folders.push_back(Numbered("m", f, 4, ""));
            for (std::uint64_t i = 0; i < perFolder; ++i) {
                PlannedFile file;
                file.path = Join(layout.folders.back(), Numbered("e", f * perFolder + i, 7, ""));
                file.mtime = kBaseTime + static_cast<std::int64_t>(random.below(kYear));
                layout.files.push_back(std::move(file));
            }
        }
        break;
    }
    }
    return layout;
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw std::system_error(errno, std::generic_category(), what + " " + path);
}

void SetTime(int fd, const std::string& path, std::int64_t mtime) {
    std::array<timespec, 2> times{};
    times[0].tv_sec = static_cast<time_t>(mtime);
    times[1].tv_sec = static_cast<time_t>(mtime);
    if (::futimens(fd, times.data()) != 0) {
        Fail("cannot set the time of", path);
    }
}

// Writes `size` bytes of the file's content, drawn from `contentSeed`, from the start of fd.
void WriteContent(int fd, const std::string& path, std::uint64_t size, std::uint64_t contentSeed) {
    Random random(contentSeed);
    std::vector<char> buffer(std::min<std::uint64_t>(size, 4ULL << 20U));
    std::uint64_t left = size;
    while (left > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        random.fill(buffer.data(), chunk);
        std::size_t done = 0;
        while (done < chunk) {
            const ssize_t written = ::write(fd, buffer.data() + done, chunk - done);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                Fail("cannot write", path);
            }
            done += static_cast<std::size_t>(written);
        }
        left -= chunk;
    }
}

void Make(const Layout& layout, const std::string& root) {
    if (::mkdir(root.c_str(), 0755) != 0) {
        Fail("cannot create", root);
    }
    for (const std::string& folder : layout.folders) {
        if (folder.empty()) {
            continue;
        }
        const std::string path = Join(root, folder);
        if (::mkdir(path.c_str(), 0755) != 0) {
            Fail("cannot create", path);
        }
    }
    for (const PlannedFile& file : layout.files) {
        const std::string path = root + "/" + file.path;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            Fail("cannot create", path);
        }
        WriteContent(fd, path, file.size, file.contentSeed);
        SetTime(fd, path, file.mtime);
        ::close(fd);
    }
    // Folder times last, deepest first: creating their entries changed them.
    for (auto it = layout.folders.rbegin(); it != layout.folders.rend(); ++it) {
        const std::string path = it->empty() ? root : root + "/" + *it;
        std::array<timespec, 2> times{};
        times[0].tv_sec = static_cast<time_t>(kBaseTime);
        times[1].tv_sec = static_cast<time_t>(kBaseTime);
        if (::utimensat(AT_FDCWD, path.c_str(), times.data(), 0) != 0) {
            Fail("cannot set the time of", path);
        }
    }
}

bool Touched(std::uint64_t index) {
    return index % kTouchEvery == kTouchOffset;
}

std::uint64_t Touch(const Layout& layout, const std::string& root, std::uint64_t round) {
    std::uint64_t count = 0;
    for (std::uint64_t i = 0; i < layout.files.size(); ++i) {
        if (!Touched(i)) {
            continue;
        }
        const PlannedFile& file = layout.files[i];
        const std::string path = root + "/" + file.path;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            Fail("cannot open", path);
        }
        WriteContent(fd, path, file.size, file.contentSeed ^ (round * 0x9E3779B97F4A7C15ULL));
        SetTime(fd, path, kTouchTime + static_cast<std::int64_t>(round) * 10);
        ::close(fd);
        ++count;
    }
    return count;
}

std::uint64_t ParseNumber(std::string_view text, const char* what) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument(std::string("not a number for ") + what + ": " +
                                    std::string(text));
    }
    return value;
}

int Usage() {
    std::fputs("usage: gen_tree make KIND DIR [--seed=N]\n"
               "       gen_tree touch KIND DIR ROUND [--seed=N]\n"
               "       gen_tree describe KIND [--seed=N]\n"
               "KIND: S, L, M, F, tinyS, tinyL or tinyM\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    try {
        std::uint64_t seed = 20240601;
        std::vector<std::string_view> args;
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            if (arg.starts_with("--seed=")) {
                seed = ParseNumber(arg.substr(7), "--seed");
            } else {
                args.push_back(arg);
            }
        }
        if (args.size() < 2) {
            return Usage();
        }
        ::umask(022);
        const std::string_view command = args[0];
        const Shape shape = ShapeOf(args[1]);
        const Layout layout = MakeLayout(shape, seed);
        if (command == "describe" && args.size() == 2) {
            std::uint64_t bytes = 0;
            std::uint64_t touched = 0;
            for (std::uint64_t i = 0; i < layout.files.size(); ++i) {
                bytes += layout.files[i].size;
                touched += Touched(i) ? 1 : 0;
            }
            std::printf("layout=%d seed=%llu files=%llu bytes=%llu folders=%llu touched=%llu\n",
                        kLayoutVersion, static_cast<unsigned long long>(seed),
                        static_cast<unsigned long long>(layout.files.size()),
                        static_cast<unsigned long long>(bytes),
                        static_cast<unsigned long long>(layout.folders.size() - 1),
                        static_cast<unsigned long long>(touched));
            return 0;
        }
        if (command == "make" && args.size() == 3) {
            Make(layout, std::string(args[2]));
            return 0;
        }
        if (command == "touch" && args.size() == 4) {
            const std::uint64_t round = ParseNumber(args[3], "ROUND");
            std::printf("touched=%llu\n", static_cast<unsigned long long>(
                                              Touch(layout, std::string(args[2]), round)));
            return 0;
        }
        return Usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "gen_tree: %s\n", error.what());
        return 1;
    }
}
