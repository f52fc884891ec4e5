#include "FolderSettings.h"

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
            throw SettingsError(QString("'%1' のﾃﾞｰﾀ型が不正です").arg(name).toStdString());
        }
        text = value.toString();
    }

    void ensureWritable() const {
        if (!settings_.isWritable()) {
            throw SettingsError(QString("ｷｰ %1 の作成に失敗しました").arg(QString()).toStdString());
        }
    }

    void write(const char* name, const QString& text) {
        settings_.setValue(name, text);
        settings_.sync();
        if (settings_.status() != QSettings::NoError) {
            throw SettingsError(QString("'%1' の設定に失敗しました").arg(name).toStdString());
        }
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
    FolderStore store;
    store.ensureWritable();
    store.write(kFolder1, text1);
    store.write(kFolder2, text2);
}

} // namespace doplet
