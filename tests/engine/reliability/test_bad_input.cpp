// Bad input of every kind gets a clear result: the exact log lines below, never a crash, never a
// hang (each pass runs on a worker thread that must end within a minute), and nothing written
// where it does not belong. Folder texts, odd names, trees deeper than PATH_MAX, files that
// change between the listing and the pass, files where folders belong, and special files.

#include "ErrorCodes.h"
#include "RelSupport.h"

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace doplet::rel {
namespace {

constexpr Stamp kOld{1'600'000'000, 0};
constexpr Stamp kNew{1'600'000'100, 250};

struct Ctx {
    Scratch scratch;
    std::string one = scratch.folder("one");
    std::string two = scratch.folder("two");
    std::shared_ptr<HookedFileSystem> fs = std::make_shared<HookedFileSystem>();

    PassInput listed(const std::string& folder1, const std::string& folder2) const {
        return {folder1, folder2, ListSide(*fs, folder1, 1), ListSide(*fs, folder2, 2)};
    }
    PassInput listed() const { return listed(one, two); }
};

struct Case {
    std::string name;
    // Builds the trees and returns what the pass starts with; may arrange hooks.
    std::function<PassInput(Ctx&)> arrange;
    std::function<void(Ctx&, const PassOutcome&)> check;
    // Empty when the case can run here, else why not.
    std::function<std::string()> unavailable;
};

// Runs the test's body with the working folder set to `folder`, then goes back.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder)
        : saved_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        EXPECT_EQ(::chdir(folder.c_str()), 0);
    }
    ~WorkingFolder() {
        EXPECT_EQ(::fchdir(saved_), 0);
        ::close(saved_);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    WorkingFolder(WorkingFolder&&) = delete;
    WorkingFolder& operator=(WorkingFolder&&) = delete;

private:
    int saved_;
};

// A chain of `levels` folders with names of `nameLength` bytes below `root`, built with calls
// relative to an open folder (no path of it fits in PATH_MAX), with `content` in "deep.txt" at the
// bottom. Returns the relative path of that file.
std::string MakeDeepFile(const std::string& root, int levels, std::size_t nameLength,
                         const std::string& content, Stamp mtime) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string relative;
    for (int i = 0; i < levels; ++i) {
        std::string name(nameLength - 3, static_cast<char>('a' + i % 26));
        name += "-" + std::to_string(10 + i % 90);
        EXPECT_EQ(::mkdirat(fd, name.c_str(), 0755), 0) << ErrorText(errno);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        relative += "/" + name;
    }
    const int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    EXPECT_EQ(::write(file, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    const timespec times[2] = {{0, UTIME_OMIT}, {mtime.sec, static_cast<long>(mtime.nsec)}};
    ::futimens(file, times);
    ::close(file);
    ::close(fd);
    return relative + "/deep.txt";
}

// Reads a file reached one folder at a time; nothing when a folder or the file is missing.
std::optional<std::pair<std::string, Stamp>> ReadDeep(const std::string& root,
                                                      const std::string& relative) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string_view rest = std::string_view(relative).substr(1);
    for (std::size_t slash = rest.find('/'); slash != std::string_view::npos && fd >= 0;
         slash = rest.find('/')) {
        const std::string name(rest.substr(0, slash));
        const int next =
            ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
        rest.remove_prefix(slash + 1);
    }
    if (fd < 0) {
        return std::nullopt;
    }
    const int file = ::openat(fd, std::string(rest).c_str(), O_RDONLY | O_CLOEXEC);
    ::close(fd);
    if (file < 0) {
        return std::nullopt;
    }
    std::string content(1 << 16, '\0');
    const ssize_t got = ::read(file, content.data(), content.size());
    struct stat st {};
    ::fstat(file, &st);
    ::close(file);
    content.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return std::make_pair(content, StampOf(st));
}

std::string MakeFifo(const std::string& path, Stamp mtime) {
    EXPECT_EQ(::mkfifo(path.c_str(), 0644), 0);
    SetStamp(path, mtime);
    return path;
}

std::string MakeDevice(const std::string& path, unsigned minor, Stamp mtime) {
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) {
        return ErrorText(errno);
    }
    SetStamp(path, mtime);
    return "";
}

std::string CannotMakeDevices() {
    Scratch probe;
    const std::string path = probe / "null";
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        return "mknod: " + ErrorText(errno);
    }
    return "";
}

void ExpectLines(const PassOutcome& outcome, const std::vector<std::string>& expected) {
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.texts(), expected);
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    const auto add = [&](std::string name, std::function<PassInput(Ctx&)> arrange,
                         std::function<void(Ctx&, const PassOutcome&)> check,
                         std::function<std::string()> unavailable = {}) {
        cases.push_back(
            {std::move(name), std::move(arrange), std::move(check), std::move(unavailable)});
    };

    // --- Folder texts ---------------------------------------------------------------------
    for (const std::string text : {"", "   ", " \t\r\n "}) {
        add(
            "folder text 1 is " + EscapeField(text.empty() ? "empty" : "'" + text + "'"),
            [text](Ctx& c) {
                PutFile(c.two + "/a.txt", "two", kOld);
                EXPECT_EQ(::chdir(c.scratch.folder("cwd").c_str()), 0);
                return c.listed(text, c.two);
            },
            [text](Ctx& c, const PassOutcome& o) {
                ExpectLines(o, {FailureText(c.two + "/a.txt", kErrorPathNotFound)});
                EXPECT_TRUE(TakeSnapshot(c.scratch / "cwd").empty())
                    << "wrote into the working folder";
                EXPECT_TRUE(TakeSnapshot(c.one).empty());
            });
    }
    add(
        "folder text 2 is relative, and the working folder changes during the pass",
        [](Ctx& c) {
            PutFile(c.one + "/a.txt", "one a", kNew);
            PutFile(c.one + "/b.txt", "one b", kNew);
            const std::string cwd = c.scratch.folder("cwd");
            c.scratch.folder("cwd/rel");
            c.scratch.folder("elsewhere/rel");
            EXPECT_EQ(::chdir(cwd.c_str()), 0);
            PassInput input{c.one, "rel", MakeList({"/a.txt", "/b.txt"}, 1),
                            ListSide(*c.fs, "rel", 2)};
            c.fs->afterCopy = [&c](std::string_view, std::string_view, int) {
                EXPECT_EQ(::chdir((c.scratch / "elsewhere").c_str()), 0);
            };
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {SuccessText(c.one + "/a.txt", "rel/a.txt"),
                            SuccessText(c.one + "/b.txt", "rel/b.txt")});
            EXPECT_EQ(Slurp(c.scratch / "cwd/rel/a.txt"), "one a");
            EXPECT_EQ(Slurp(c.scratch / "cwd/rel/b.txt"), "one b");
            EXPECT_TRUE(TakeSnapshot(c.scratch / "elsewhere/rel").empty());
        });
    add(
        "folder text 2 with control characters around it",
        [](Ctx& c) {
            PutFile(c.one + "/a.txt", "one", kNew);
            PassInput input = c.listed();
            input.folder2 = "\t\n" + c.two + "\r\n";
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {SuccessText(c.one + "/a.txt", c.two + "/a.txt")});
            EXPECT_EQ(Slurp(c.two + "/a.txt"), "one");
        });
    add(
        "folder text 2 with a control character inside",
        [](Ctx& c) {
            PutFile(c.one + "/a.txt", "one", kNew);
            return c.listed(c.one, c.two + "\x01" + "x");
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/a.txt", kErrorPathNotFound)});
            EXPECT_FALSE(LookUp(c.two + "\x01" + "x"));
        });
    add(
        "folder text 2 names a file",
        [](Ctx& c) {
            PutFile(c.one + "/a.txt", "one", kNew);
            PutFile(c.scratch / "afile", "a file", kOld);
            return c.listed(c.one, c.scratch / "afile");
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/a.txt", kErrorPathNotFound)});
            EXPECT_EQ(Slurp(c.scratch / "afile"), "a file");
        });
    add(
        "folder 2 vanishes during the pass",
        [](Ctx& c) {
            PutFile(c.one + "/a.txt", "a", kNew);
            PutFile(c.one + "/b.txt", "b", kNew);
            PutFile(c.one + "/sub/c.txt", "c", kNew);
            PassInput input{c.one, c.two, MakeList({"/a.txt", "/b.txt", "/sub/c.txt"}, 1),
                            ListSide(*c.fs, c.two, 2)};
            c.fs->afterCopy = [&c](std::string_view, std::string_view, int) {
                RemoveTree(c.two);
                c.fs->afterCopy = nullptr;
            };
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {SuccessText(c.one + "/a.txt", c.two + "/a.txt"),
                            FailureText(c.one + "/b.txt", kErrorPathNotFound),
                            FailureText(c.one + "/sub/c.txt", kErrorPathNotFound)});
            EXPECT_FALSE(LookUp(c.two)) << "the vanished folder was made again";
            EXPECT_EQ(TakeSnapshot(c.one).size(), 4U);
        });
    add(
        "folder 1 vanishes during the pass",
        [](Ctx& c) {
            PutFile(c.one + "/a.txt", "a", kNew);
            PutFile(c.one + "/b.txt", "b", kNew);
            PutFile(c.two + "/c.txt", "c", kNew);
            PassInput input{c.one, c.two, MakeList({"/a.txt", "/b.txt"}, 1),
                            MakeList({"/c.txt"}, 2)};
            c.fs->afterCopy = [&c](std::string_view, std::string_view, int) {
                RemoveTree(c.one);
                c.fs->afterCopy = nullptr;
            };
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {SuccessText(c.one + "/a.txt", c.two + "/a.txt"),
                            FailureText(c.one + "/b.txt", kErrorFileNotFound),
                            FailureText(c.two + "/c.txt", kErrorPathNotFound)});
            EXPECT_FALSE(LookUp(c.one));
            EXPECT_EQ(Slurp(c.two + "/a.txt"), "a");
            EXPECT_EQ(Slurp(c.two + "/c.txt"), "c");
        });

    // --- Names ----------------------------------------------------------------------------
    const std::vector<std::pair<std::string, std::string>> names = {
        {"a name that is not UTF-8", "/\xff\xfe\xfd.bin"},
        {"a name with a newline", "/line\nbreak.txt"},
        {"a name with a tab and a carriage return", "/tab\there\r.txt"},
        {"names with backslashes", "/back\\slash\\dir/x\\y.txt"},
        {"a name of 255 bytes", "/" + std::string(251, 'n') + ".txt"},
        {"a folder and a file name of 255 bytes each",
         "/" + std::string(255, 'd') + "/" + std::string(255, 'f')},
        {"a name beginning with a dash", "/-rf"},
        {"a name that is only blanks", "/   "},
        {"a name of a full-width blank", "/\xe3\x80\x80"},
    };
    for (const auto& named : names) {
        const std::string entry = named.second;
        add(
            named.first,
            [entry](Ctx& c) {
                PutFile(c.one + entry, "content of " + entry, kNew);
                return c.listed();
            },
            [entry](Ctx& c, const PassOutcome& o) {
                ExpectLines(o, {SuccessText(c.one + entry, c.two + entry)});
                EXPECT_EQ(Slurp(c.two + entry), "content of " + entry);
                EXPECT_EQ(LinesOf(*ListSide(*c.fs, c.two, 2)), std::vector<std::string>{entry});
            });
    }
    for (const auto& shape : {std::pair{30, 200}, std::pair{64, 250}}) {
        const int levels = shape.first;
        const int length = shape.second;
        add(
            "a tree " + std::to_string(levels * (length + 1)) + " bytes deep (PATH_MAX is " +
                std::to_string(PATH_MAX) + ")",
            [levels, length](Ctx& c) {
                MakeDeepFile(c.one, levels, static_cast<std::size_t>(length), "deep down", kNew);
                PutFile(c.two + "/after.txt", "after", kNew);
                return c.listed();
            },
            [levels, length](Ctx& c, const PassOutcome& o) {
                std::string relative;
                for (int i = 0; i < levels; ++i) {
                    relative += "/" +
                                std::string(static_cast<std::size_t>(length) - 3,
                                            static_cast<char>('a' + i % 26)) +
                                "-" + std::to_string(10 + i % 90);
                }
                relative += "/deep.txt";
                ExpectLines(o, {SuccessText(c.one + relative, c.two + relative),
                                SuccessText(c.two + "/after.txt", c.one + "/after.txt")});
                const auto copied = ReadDeep(c.two, relative);
                ASSERT_TRUE(copied);
                EXPECT_EQ(copied->first, "deep down");
                EXPECT_EQ(copied->second, kNew);
                // A second pass finds both equal, however deep.
                EXPECT_TRUE(ListAndRun(*c.fs, c.one, c.two).lines.empty());
            });
    }

    add(
        "list entries that climb out of the root (only a damaged list could hold them)",
        [](Ctx& c) {
            c.one = c.scratch.folder("a/one");
            c.two = c.scratch.folder("b/two");
            PutFile(c.scratch / "a/escape.txt", "outside a", kNew);
            PutFile(c.scratch / "a/x/escape2.txt", "outside a/x", kNew);
            return PassInput{c.one, c.two,
                             MakeList({"/../escape.txt", "/sub/../../x/escape2.txt", "/.."}, 1),
                             MakeList({"/../../b/two/../escape.txt"}, 2)};
        },
        [](Ctx& c, const PassOutcome& o) {
            EXPECT_TRUE(o.completed);
            ASSERT_EQ(o.lines.size(), 4U);
            for (const LogLine& line : o.lines) {
                EXPECT_TRUE(line.failed()) << line.text();
            }
            EXPECT_FALSE(LookUp(c.scratch / "b/escape.txt"));
            EXPECT_FALSE(LookUp(c.scratch / "b/x"));
            EXPECT_TRUE(TakeSnapshot(c.two).empty());
            EXPECT_EQ(TakeSnapshot(c.scratch / "a").size(), 4U) << "one, escape.txt, x, x/escape2";
        });

    // --- Between the listing and the pass --------------------------------------------------
    add(
        "a listed file vanishes from both sides",
        [](Ctx& c) {
            PutFile(c.one + "/gone.txt", "x", kNew);
            PassInput input = c.listed();
            ::unlink((c.one + "/gone.txt").c_str());
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/gone.txt", kErrorFileNotFound)});
            EXPECT_TRUE(TakeSnapshot(c.two).empty());
        });
    add(
        "a file appears after the listing",
        [](Ctx& c) {
            PutFile(c.one + "/a.txt", "a", kNew);
            PassInput input = c.listed();
            PutFile(c.one + "/new.txt", "new", kNew);
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {SuccessText(c.one + "/a.txt", c.two + "/a.txt")});
            EXPECT_FALSE(LookUp(c.two + "/new.txt"));
            EXPECT_EQ(Slurp(c.one + "/new.txt"), "new");
        });
    add(
        "a file grows after the listing",
        [](Ctx& c) {
            PutFile(c.one + "/grow.txt", "small", kNew);
            PutFile(c.two + "/grow.txt", "old", kOld);
            PassInput input = c.listed();
            PutFile(c.one + "/grow.txt", std::string(100'000, 'g'), {kNew.sec + 10, 0});
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {SuccessText(c.one + "/grow.txt", c.two + "/grow.txt")});
            EXPECT_EQ(Slurp(c.two + "/grow.txt"), std::string(100'000, 'g'));
        });
    add(
        "a source file turns into a folder after the listing",
        [](Ctx& c) {
            PutFile(c.one + "/morph", "file", kNew);
            PutFile(c.two + "/morph", "older file", kOld);
            PassInput input = c.listed();
            ::unlink((c.one + "/morph").c_str());
            PutFile(c.one + "/morph/inner.txt", "inner", kNew);
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            // The folder has no age, so side 2's file is due to go there in both sweeps: refused
            // both times.
            ExpectLines(o, {FailureText(c.two + "/morph", kErrorAccessDenied),
                            FailureText(c.two + "/morph", kErrorAccessDenied)});
            EXPECT_EQ(Slurp(c.one + "/morph/inner.txt"), "inner");
            EXPECT_EQ(Slurp(c.two + "/morph"), "older file");
        });
    add(
        "a target file turns into a folder after the listing",
        [](Ctx& c) {
            PutFile(c.one + "/morph", "newer", kNew);
            PutFile(c.two + "/morph", "older", kOld);
            PassInput input = c.listed();
            ::unlink((c.two + "/morph").c_str());
            PutFile(c.two + "/morph/inner.txt", "inner", kNew);
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/morph", kErrorAccessDenied)});
            EXPECT_EQ(Slurp(c.two + "/morph/inner.txt"), "inner");
            EXPECT_EQ(Slurp(c.one + "/morph"), "newer");
        });
    add(
        "a folder of the target path is a file",
        [](Ctx& c) {
            PutFile(c.one + "/sub/a.txt", "a", kNew);
            PutFile(c.one + "/x/y/z/b.txt", "b", kNew);
            PutFile(c.two + "/sub", "a file named sub", kOld);
            PutFile(c.two + "/x/y", "a file named y", kOld);
            return PassInput{c.one, c.two, MakeList({"/sub/a.txt", "/x/y/z/b.txt"}, 1),
                             MakeList({}, 2)};
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/sub/a.txt", kErrorPathNotFound),
                            FailureText(c.one + "/x/y/z/b.txt", kErrorPathNotFound)});
            EXPECT_EQ(Slurp(c.two + "/sub"), "a file named sub");
            EXPECT_EQ(Slurp(c.two + "/x/y"), "a file named y");
        });

    // --- Special files ----------------------------------------------------------------------
    add(
        "pipes on either side",
        [](Ctx& c) {
            MakeFifo(c.one + "/pipe-source", kNew);
            PutFile(c.one + "/pipe-target", "newer", kNew);
            MakeFifo(c.two + "/pipe-target", kOld);
            PutFile(c.one + "/pipe-newer", "older", kOld);
            MakeFifo(c.two + "/pipe-newer", kNew);
            return PassInput{c.one, c.two,
                             MakeList({"/pipe-source", "/pipe-target", "/pipe-newer"}, 1),
                             MakeList({}, 2)};
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/pipe-source", kErrorAccessDenied),
                            FailureText(c.one + "/pipe-target", kErrorAccessDenied),
                            FailureText(c.two + "/pipe-newer", kErrorAccessDenied)});
            EXPECT_TRUE(S_ISFIFO(LookUp(c.two + "/pipe-target")->st_mode));
            EXPECT_EQ(Slurp(c.one + "/pipe-newer"), "older");
            EXPECT_FALSE(LookUp(c.two + "/pipe-source"));
        });
    add(
        "a pipe put in place of the source after the look-up",
        [](Ctx& c) {
            PutFile(c.one + "/swap", "file", kNew);
            PassInput input = c.listed();
            c.fs->beforeCopy = [&c](std::string_view, std::string_view) {
                ::unlink((c.one + "/swap").c_str());
                MakeFifo(c.one + "/swap", kNew);
            };
            return input;
        },
        [](Ctx& c, const PassOutcome& o) {
            ASSERT_EQ(o.lines.size(), 1U);
            EXPECT_TRUE(o.lines[0].failed());
            EXPECT_TRUE(o.lines[0].error == kErrorAccessDenied ||
                        o.lines[0].error == kErrorSharingViolation)
                << o.lines[0].text();
            EXPECT_FALSE(LookUp(c.two + "/swap"));
        });
    add(
        "a socket",
        [](Ctx& c) {
            const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::string path = c.one + "/sock";
            std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
            EXPECT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
            ::close(sock);
            return c.listed();
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/sock", kErrorAccessDenied)});
            EXPECT_FALSE(LookUp(c.two + "/sock"));
        });
    add(
        "character devices on either side (an endless source and a sink as target)",
        [](Ctx& c) {
            EXPECT_EQ(MakeDevice(c.one + "/zero", 5, kNew), "");
            PutFile(c.one + "/null", "newer", kNew);
            EXPECT_EQ(MakeDevice(c.two + "/null", 3, kOld), "");
            return PassInput{c.one, c.two, MakeList({"/zero", "/null"}, 1), MakeList({}, 2)};
        },
        [](Ctx& c, const PassOutcome& o) {
            ExpectLines(o, {FailureText(c.one + "/zero", kErrorAccessDenied),
                            FailureText(c.one + "/null", kErrorAccessDenied)});
            EXPECT_TRUE(S_ISCHR(LookUp(c.two + "/null")->st_mode));
            EXPECT_FALSE(LookUp(c.two + "/zero"));
        },
        CannotMakeDevices);
    return cases;
}

TEST(BadInputTest, EveryBadInputGetsAClearResult) {
    int tried = 0;
    std::vector<std::string> skipped;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        if (c.unavailable) {
            if (const std::string why = c.unavailable(); !why.empty()) {
                skipped.push_back(c.name + " (" + why + ")");
                continue;
            }
        }
        const int cwd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        {
            Ctx ctx;
            PassInput input = c.arrange(ctx);
            const PassOutcome outcome = RunPassOnWorker(ctx.fs, std::move(input));
            ctx.fs->afterCopy = nullptr;
            ctx.fs->beforeCopy = nullptr;
            EXPECT_EQ(::fchdir(cwd), 0);
            c.check(ctx, outcome);
        }
        ::close(cwd);
        ++tried;
    }
    std::cout << "[ figures  ] bad inputs tried " << tried << ", skipped " << skipped.size()
              << std::endl;
    for (const std::string& why : skipped) {
        std::cout << "[ skipped  ] " << why << std::endl;
    }
    RecordProperty("tried", tried);
}

} // namespace
} // namespace doplet::rel
