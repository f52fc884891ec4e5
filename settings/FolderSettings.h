#pragma once

// The two remembered folder texts of the main window: the values "CODE1" (folder 1) and "CODE2"
// (folder 2) in the group "main1" of the current user's settings store for QuillBarrow's doplet.
// On Linux that is the file $XDG_CONFIG_HOME/QuillBarrow/doplet.conf (~/.config/... by default),
// on Windows the registry key HKEY_CURRENT_USER\software\QuillBarrow\doplet\main1.

#include <QString>
#include <stdexcept>

namespace doplet {

// A value that cannot be read or written. The message is the text the user sees (UTF-8).
class SettingsError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// text1 and text2 come in as the defaults (the current box texts) and leave as the texts to put
// into the boxes. Each is replaced as soon as it has been read, so when "CODE2" cannot be read
// text1 already holds the loaded "CODE1". A stored value that is not text throws.
void LoadFolderSettings(QString& text1, QString& text2);

// Writes both texts exactly as they stand. Throws when the store cannot be written; nothing is
// written anywhere else then.
void SaveFolderSettings(const QString& text1, const QString& text2);

} // namespace doplet
