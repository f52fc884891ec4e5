#include "FolderSettings.h"

#include "Frontend.h"
#include "Texts.h"

#include <QFile>
#include <QSettings>
#include <QVariant>

namespace doplet {

namespace {

constexpr const char* kOrganization = "QuillBarrow";
constexpr const char* kApplication = "doplet";
constexpr const char* kGroup = "main1";
constexpr const char* kFolder1 = "CODE1";
constexpr const char* kFolder2 = "CODE2";

// Only the user's own store counts: values elsewhere (system-wide files, the organisation's
// common file) are neither read nor overwritten.
class FolderStore {
public:
    FolderStore()
        : settings_(QSettings::NativeFormat, QSettings::UserScope, kOrganization, kApplication) {
        settings_.setFallbacksEnabled(false);
        settings_.beginGroup(kGroup);
    }

    void read(const char* name, QString& text) const {
        if (!settings_.contains(name)) {
            return; // nothing stored: the text stays as it is
        }
        const QVariant value = settings_.value(name);
        if (value.typeId() != QMetaType::QString) {
            throw SettingsError(frontend::Format(texts::kBadDataType, name));
        }
        text = value.toString();
    }

    [[nodiscard]] QString fileName() const { return settings_.fileName(); }

    void ensureWritable() const {
        if (!settings_.isWritable()) {
            throw SettingsError(frontend::Format(texts::kKeyNotCreated, ""));
        }
    }

    // Both values reach the disk together: the store is rewritten whole into a new file that
    // replaces the old one, so a crash leaves either the previous texts or the new ones.
    // False when the store's file could not be parsed, throws when it cannot be written.
    bool write(const QString& text1, const QString& text2) {
        settings_.setValue(kFolder1, text1);
        settings_.setValue(kFolder2, text2);
        settings_.sync();
        if (settings_.status() == QSettings::FormatError) {
            return false;
        }
        if (settings_.status() != QSettings::NoError) {
            throw SettingsError(frontend::Format(texts::kValueNotSet, kFolder1));
        }
        return true;
    }

private:
    QSettings settings_;
};

} // namespace

void LoadFolderSettings(QString& text1, QString& text2) {
    const FolderStore store;
    store.read(kFolder1, text1);
    store.read(kFolder2, text2);
}

void SaveFolderSettings(const QString& text1, const QString& text2) {
    {
        FolderStore store;
        store.ensureWritable();
        if (store.write(text1, text2)) {
            return;
        }
        // The file held something QSettings could not parse. That status sticks to the store and
        // hides whether the new texts reached the disk, and reading them back would only show the
        // texts QSettings keeps in memory. The damaged file goes, and the texts are written afresh.
        QFile::remove(store.fileName());
    }
    FolderStore store;
    if (!store.write(text1, text2)) {
        throw SettingsError(frontend::Format(texts::kValueNotSet, kFolder1));
    }
}

} // namespace doplet
