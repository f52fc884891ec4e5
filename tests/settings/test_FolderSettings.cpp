// The folder settings against the real per-user store: a temporary $XDG_CONFIG_HOME, set before
// anything reads the store (its location is taken once per process).

#include "FolderSettings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace doplet {
namespace {

class ConfigHome final : public testing::Environment {
public:
    void SetUp() override {
        std::string pattern = "/tmp/doplet-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        path_ = pattern;
        // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread runs yet
        setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(path_); }

private:
    std::string path_;
};
// GoogleTest's way to add an environment to its own main().
// NOLINTNEXTLINE(cert-err58-cpp)
[[maybe_unused]] testing::Environment* const kConfigHome =
    testing::AddGlobalTestEnvironment(new ConfigHome);

QString ConfigDir() {
    return QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
}
QString StoreFile() {
    return ConfigDir() + QStringLiteral("/QuillBarrow/doplet.conf");
}

QSettings::SettingsMap ReadStore() {
    QSettings store(StoreFile(), QSettings::IniFormat);
    QSettings::SettingsMap values;
    for (const QString& key : store.allKeys()) {
        values.insert(key, store.value(key));
    }
    return values;
}

void Store(const QString& key, const QVariant& value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "QuillBarrow", "doplet");
    store.setValue(key, value);
    store.sync();
    ASSERT_EQ(store.status(), QSettings::NoError);
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SettingsError& error) {
        return error.what();
    }
    return "(no failure)";
}

class FolderSettings : public testing::Test {
protected:
    void SetUp() override {
        QDir(ConfigDir() + QStringLiteral("/QuillBarrow")).removeRecursively();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(FolderSettings, NothingStoredKeepsTheDefaults) {
    QString text1 = QStringLiteral("フォルダ１");
    QString text2 = QStringLiteral("フォルダ２");
    LoadFolderSettings(text1, text2);
    EXPECT_EQ(text1, QStringLiteral("フォルダ１"));
    EXPECT_EQ(text2, QStringLiteral("フォルダ２"));
}

TEST_F(FolderSettings, TextsRoundTripExactlyInTheUsersStore) {
    const QStringList texts = {
        QStringLiteral("/data/photos/"),
        QStringLiteral("  /leading and trailing blanks/  "),
        QStringLiteral("C:\\data\\"),
        QStringLiteral("\\\\server\\share\\"),
        QStringLiteral("a, b, c"),
        QStringLiteral("/写真/２０２４年/"),
        QStringLiteral("@ByteArray(not binary)"),
        QStringLiteral("\"quoted\" ; # = [main1]"),
        QStringLiteral("tab\there"),
        QStringLiteral("　full-width blank　"),
        QString(),
    };
    for (const QString& first : texts) {
        const QString second = QStringLiteral("other:") + first;
        SaveFolderSettings(first, second);
        QString text1 = QStringLiteral("default 1");
        QString text2 = QStringLiteral("default 2");
        LoadFolderSettings(text1, text2);
        EXPECT_EQ(text1, first);
        EXPECT_EQ(text2, second);
    }
    // Where users' remembered folders live: group main1, keys CODE1 and CODE2.
    const QSettings::SettingsMap stored = ReadStore();
    EXPECT_EQ(stored.keys(), (QStringList{"main1/CODE1", "main1/CODE2"}));
    EXPECT_EQ(stored.value("main1/CODE2").toString(), QStringLiteral("other:"));
}

TEST_F(FolderSettings, AnEmptyValueLoadsAsEmptyAndAMissingOneKeepsItsDefault) {
    Store("main1/CODE1", QString());
    QString text1 = QStringLiteral("フォルダ１");
    QString text2 = QStringLiteral("フォルダ２");
    LoadFolderSettings(text1, text2);
    EXPECT_EQ(text1, QString());
    EXPECT_EQ(text2, QStringLiteral("フォルダ２"));
}

TEST_F(FolderSettings, AValueOfAnotherTypeIsAFailureNamingIt) {
    Store("main1/CODE1", QStringLiteral("/loaded/"));
    Store("main1/CODE2", QByteArray("\x01\x02", 2));
    QString text1 = QStringLiteral("フォルダ１");
    QString text2 = QStringLiteral("フォルダ２");
    EXPECT_EQ(MessageOf([&] { LoadFolderSettings(text1, text2); }), "'CODE2' のﾃﾞｰﾀ型が不正です");
    EXPECT_EQ(text1, QStringLiteral("/loaded/")); // read before the failure
    EXPECT_EQ(text2, QStringLiteral("フォルダ２"));

    Store("main1/CODE1", QSize(3, 4));
    text1 = QStringLiteral("フォルダ１");
    EXPECT_EQ(MessageOf([&] { LoadFolderSettings(text1, text2); }), "'CODE1' のﾃﾞｰﾀ型が不正です");
    EXPECT_EQ(text1, QStringLiteral("フォルダ１"));
    EXPECT_EQ(text2, QStringLiteral("フォルダ２"));
}

TEST_F(FolderSettings, OnlyTheUsersOwnFileIsRead) {
    // The organisation's common file is no place for doplet's folders.
    QSettings common(ConfigDir() + QStringLiteral("/QuillBarrow.conf"), QSettings::IniFormat);
    common.setValue("main1/CODE1", QStringLiteral("/elsewhere/"));
    common.sync();
    QString text1 = QStringLiteral("フォルダ１");
    QString text2 = QStringLiteral("フォルダ２");
    LoadFolderSettings(text1, text2);
    EXPECT_EQ(text1, QStringLiteral("フォルダ１"));
    QFile::remove(ConfigDir() + QStringLiteral("/QuillBarrow.conf"));
}

TEST_F(FolderSettings, AStoreThatCannotBeCreatedIsReportedAndNothingIsWrittenElsewhere) {
    // A file where the store's folder belongs: the store cannot be created (root included).
    QFile blocker(ConfigDir() + QStringLiteral("/QuillBarrow"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(MessageOf([] { SaveFolderSettings("/a/", "/b/"); }), "ｷｰ  の作成に失敗しました");
    EXPECT_EQ(blocker.size(), 0);
    EXPECT_EQ(QDir(ConfigDir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"QuillBarrow"});
    QFile::remove(blocker.fileName());
}

TEST_F(FolderSettings, AValueThatCannotBeWrittenIsReportedByName) {
    // The save runs in a child process that may create files but write no byte into them, so
    // the store opens but its first value cannot be written.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit noBytes{0, 0};
        setrlimit(RLIMIT_FSIZE, &noBytes);
        const std::string message = MessageOf([] { SaveFolderSettings("/a/", "/b/"); });
        (void)!write(pipeEnds[1], message.data(), message.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        message.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(message, "'CODE1' の設定に失敗しました");
}

TEST_F(FolderSettings, AKillDuringASaveLeavesThePreviousTextsOrTheNewOnes) {
    // A child saves two pairs of texts in turn without end; it is killed at random moments and
    // every time the store must hold one whole pair.
    const QString a1 = QStringLiteral("/data/一/") + QString(2000, QLatin1Char('a'));
    const QString a2 = QStringLiteral("/backup/一/");
    const QString b1 = QStringLiteral("/data/二/");
    const QString b2 = QStringLiteral("/backup/二/") + QString(2000, QLatin1Char('b'));
    SaveFolderSettings(a1, a2);
    std::mt19937 random(20261207);
    int kills = 0;
    for (int round = 0; round < 25; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (bool first = true;; first = !first) {
                SaveFolderSettings(first ? b1 : a1, first ? b2 : a2);
            }
        }
        usleep(std::uniform_int_distribution<useconds_t>(500, 20'000)(random));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        waitpid(child, &status, 0);
        kills += WIFSIGNALED(status) ? 1 : 0;
        QString text1;
        QString text2;
        LoadFolderSettings(text1, text2);
        EXPECT_TRUE((text1 == a1 && text2 == a2) || (text1 == b1 && text2 == b2))
            << "after kill " << round << ": " << text1.left(20).toStdString() << " / "
            << text2.left(20).toStdString();
    }
    EXPECT_EQ(kills, 25);
}

TEST_F(FolderSettings, ACorruptedStoreLoadsNothingAndTheNextSaveMendsIt) {
    QDir().mkpath(ConfigDir() + QStringLiteral("/QuillBarrow"));
    QFile corrupted(StoreFile());
    ASSERT_TRUE(corrupted.open(QIODevice::WriteOnly));
    // Binary junk, a broken group, a key without a value and a truncated variant.
    static constexpr char kJunk[] =
        "\\x00[main1\n\xff\xfe=\n[[[\nCODE1\n=@Variant(\\0\\0\\0\x7f\\0";
    corrupted.write(kJunk, sizeof kJunk - 1);
    corrupted.close();
    QString text1 = QStringLiteral("フォルダ１");
    QString text2 = QStringLiteral("フォルダ２");
    try {
        LoadFolderSettings(text1, text2);
    } catch (const SettingsError&) {
        // reporting the damage is as good as ignoring it; crashing or hanging is not
    }
    EXPECT_EQ(text2, QStringLiteral("フォルダ２"));
    SaveFolderSettings(QStringLiteral("/a/"), QStringLiteral("/b/"));
    QString again1;
    QString again2;
    LoadFolderSettings(again1, again2);
    EXPECT_EQ(again1, QStringLiteral("/a/"));
    EXPECT_EQ(again2, QStringLiteral("/b/"));
}

} // namespace
} // namespace doplet
