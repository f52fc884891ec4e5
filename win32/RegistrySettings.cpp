#include "RegistrySettings.h"

#include "Frontend.h"
#include "Texts.h"

#include <vector>
#include <windows.h>

namespace doplet::win32 {

namespace {

constexpr wchar_t kKey[] = L"software\\QuillBarrow\\doplet\\main1";
constexpr wchar_t kFolder1[] = L"CODE1";
constexpr wchar_t kFolder2[] = L"CODE2";

std::string NameOf(std::wstring_view value) {
    return {value.begin(), value.end()}; // the value names are ASCII
}

// The key, opened with full access and created (with its parents) when missing; closed when it
// goes out of scope.
class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }

    bool create() {
        return RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &key_, nullptr) == ERROR_SUCCESS;
    }
    // Read access alone, for a key this user may read but not write.
    bool open() { return RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key_) == 0; }

    void read(const wchar_t* value, std::wstring& text) const {
        DWORD type = 0;
        std::vector<wchar_t> data(MAX_PATH + 1);
        DWORD bytes = 0;
        for (;;) {
            bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
            const LSTATUS status = RegQueryValueExW(key_, value, nullptr, &type,
                                                    reinterpret_cast<BYTE*>(data.data()), &bytes);
            if (status == ERROR_SUCCESS) {
                break;
            }
            if (status != ERROR_MORE_DATA) {
                return; // nothing stored (or nothing this user may read): the text stays
            }
            data.resize(bytes / sizeof(wchar_t) + 2); // longer than the buffer: again, with room
        }
        if (bytes > 0 && type != REG_SZ && type != REG_EXPAND_SZ) {
            throw SettingsError(frontend::Format(texts::kBadDataType, NameOf(value)));
        }
        // The data up to its first zero; a string stored without one ends with its data.
        const std::wstring_view stored(data.data(), bytes / sizeof(wchar_t));
        text = stored.substr(0, stored.find(L'\0'));
    }

    void write(const wchar_t* value, const std::wstring& text) const {
        const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        if (RegSetValueExW(key_, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           bytes) != ERROR_SUCCESS) {
            throw SettingsError(frontend::Format(texts::kValueNotSet, NameOf(value)));
        }
    }

private:
    HKEY key_ = nullptr;
};

} // namespace

void LoadFolderSettings(std::wstring& text1, std::wstring& text2) {
    Key key;
    if (!key.create() && !key.open()) {
        return; // no key to read: both boxes keep their texts
    }
    key.read(kFolder1, text1);
    key.read(kFolder2, text2);
}

void SaveFolderSettings(const std::wstring& text1, const std::wstring& text2) {
    Key key;
    if (!key.create()) {
        throw SettingsError(frontend::Format(texts::kKeyNotCreated, ""));
    }
    key.write(kFolder1, text1);
    key.write(kFolder2, text2);
}

} // namespace doplet::win32
