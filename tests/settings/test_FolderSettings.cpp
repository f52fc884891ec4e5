// The folder settings against the real per-user store in a temporary $XDG_CONFIG_HOME, set
// before anything reads the store (its location is taken once per process).

#include "FolderSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSize>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace doplet {
namespace {

const std::string kConfig = [] {
    std::string path = (std::filesystem::temp_directory_path() / "doplet-settings-XXXXXX").string();
    EXPECT_NE(::mkdtemp(path.data()), nullptr);
    ::setenv("XDG_CONFIG_HOME", path.c_str(), 1); // NOLINT(concurrency-mt-unsafe): no thread yet
    return path;
}();
const QString kFolder = QString::fromStdString(kConfig) + QStringLiteral("/QuillBarrow");
const QString kStore = kFolder + QStringLiteral("/doplet.conf");

void Store(const QString& key, const QVariant& value) {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "QuillBarrow", "doplet")
        .setValue(QStringLiteral("main1/") + key, value);
}

// A store file QSettings cannot parse: binary junk, a broken group, a truncated variant.
void Damage() {
    QDir().mkpath(kFolder);
    QFile file(kStore);
    file.open(QIODevice::WriteOnly);
    file.write("\\x00[main1\n\xff\xfe=\n[[[\nCODE1\n=@Variant(\\0\\0\\0\x7f\\0");
}

QByteArray StoreBytes() {
    QFile file(kStore);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The failure `act` reports ("" for none).
std::string Failure(const std::function<void()>& act) {
    try {
        act();
    } catch (const SettingsError& error) {
        return error.what();
    }
    return "";
}

// The texts a load leaves in boxes that showed "1" and "2", and the failure it reported.
std::tuple<QString, QString, std::string> Load() {
    QString text1 = QStringLiteral("1"), text2 = QStringLiteral("2");
    const std::string failure = Failure([&] { LoadFolderSettings(text1, text2); });
    return {text1, text2, failure};
}

// The failure a save reports in a child process that may write no byte into any file.
std::string SaveWithoutSpace() {
    auto* shared = static_cast<char*>(
        ::mmap(nullptr, 256, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (::fork() == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_FSIZE, &none);
        Failure([] { SaveFolderSettings("/new/", "/new/"); }).copy(shared, 255);
        ::_exit(0);
    }
    ::wait(nullptr);
    std::string message(shared);
    ::munmap(shared, 256);
    return message;
}

struct FolderSettings : testing::Test {
    void SetUp() override {
        QDir(kFolder).removeRecursively();
        QFile::remove(kFolder);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(FolderSettings, TextsRoundTripExactlyAndOnlyTheUsersOwnStoreCounts) {
    QSettings common(kConfig.c_str() + QStringLiteral("/QuillBarrow.conf"), QSettings::IniFormat);
    common.setValue("main1/CODE1", "/the organisation's/");
    common.sync();
    EXPECT_EQ(Load(), std::make_tuple(QString("1"), QString("2"), std::string()));
    Damage(); // a damaged store loads nothing harmful, and the next save mends it
    EXPECT_EQ(std::get<1>(Load()), QStringLiteral("2"));
    for (const QString text : {"  /blanks/  ", "C:\\data\\", "a, b", "/写真/", "@ByteArray(x)",
                               "\"q\" ; # = [main1]", "tab\there", "　", ""}) {
        SaveFolderSettings(text, QStringLiteral("2:") + text);
        EXPECT_EQ(Load(), std::make_tuple(text, QStringLiteral("2:") + text, std::string()));
    }
    EXPECT_EQ(QSettings(kStore, QSettings::IniFormat).allKeys(),
              (QStringList{"main1/CODE1", "main1/CODE2"}));
    QFile::remove(common.fileName());
}

TEST_F(FolderSettings, EveryFailureIsReportedByNameAndLeavesTheStoreAsItWas) {
    const auto save = [] { return Failure([] { SaveFolderSettings("/a/", "/b/"); }); };
    const auto load = [] { return std::get<2>(Load()); };
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::function<std::string()> act;
        std::string message;
        bool kept = true; // else the damaged store is gone
    } rows[] = {
        {"CODE1 of another type", [] { Store("CODE1", QSize(3, 4)); }, load,
         "'CODE1' のﾃﾞｰﾀ型が不正です"},
        {"no byte can be written", save, SaveWithoutSpace, "'CODE1' の設定に失敗しました"},
        {"a damaged store that cannot be rewritten", Damage, SaveWithoutSpace,
         "'CODE1' の設定に失敗しました", false},
        {"a file where the store's folder belongs (also for root)",
         [] { QFile(kFolder).open(QIODevice::WriteOnly); }, save, "ｷｰ  の作成に失敗しました"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        row.arrange();
        const QByteArray before = StoreBytes();
        EXPECT_EQ(row.act(), row.message);
        EXPECT_EQ(StoreBytes(), row.kept ? before : QByteArray());
        EXPECT_EQ(QDir(kConfig.c_str()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                  QStringList{"QuillBarrow"}); // nothing written anywhere else
        EXPECT_FALSE(QFileInfo(kFolder).isFile() && QFileInfo(kFolder).size() > 0);
    }
}

TEST_F(FolderSettings, AKillDuringASaveLeavesThePreviousTextsOrTheNewOnes) {
    const QString a1 = QStringLiteral("/一/") + QString(2000, 'a');
    const QString b2 = QStringLiteral("/二/") + QString(2000, 'b');
    SaveFolderSettings(a1, "/a/");
    std::mt19937 random(20261207);
    for (int round = 0; round < 25; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (bool b = true;; b = !b)
                SaveFolderSettings(b ? "/b/" : a1, b ? b2 : "/a/");
        }
        ::usleep(std::uniform_int_distribution<useconds_t>(500, 20'000)(random));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const auto [text1, text2, failure] = Load();
        EXPECT_TRUE((text1 == a1 && text2 == "/a/") || (text1 == "/b/" && text2 == b2)) << round;
    }
}

} // namespace
} // namespace doplet
