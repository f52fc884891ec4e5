#pragma once

// The two remembered folder texts in the registry: the REG_SZ values "CODE1" (folder 1) and
// "CODE2" (folder 2) under HKEY_CURRENT_USER\software\QuillBarrow\doplet\main1, written as
// UTF-16. The key is opened afresh for each load and save, and created when it is missing.

#include <stdexcept>
#include <string>

namespace doplet::win32 {

// A value that cannot be read or written; the message (UTF-8) is the one the user sees.
class SettingsError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// text1 and text2 come in as the defaults (the box texts) and leave as the texts to put into the
// boxes; each is replaced as soon as it is read, so when "CODE2" fails text1 holds "CODE1".
// A missing value keeps its default, an empty one gives the empty text, REG_EXPAND_SZ is taken
// unexpanded, and any other type throws.
void LoadFolderSettings(std::wstring& text1, std::wstring& text2);

// Writes both texts exactly as they stand. Throws when the key cannot be created or a value
// cannot be written.
void SaveFolderSettings(const std::wstring& text1, const std::wstring& text2);

} // namespace doplet::win32
