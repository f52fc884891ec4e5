#pragma once

// Picking a folder with the system's file-open dialog: the user opens the wanted folder, types
// any file name and confirms; the folder part of the confirmed name is the folder.

#include <optional>
#include <string>
#include <windows.h>

namespace doplet::win32 {

// The dialog of one folder column: no filter, no read-only choice, any file name accepted (the
// file itself is never opened). It offers the name it last confirmed the next time it opens.
class FolderDialog {
public:
    explicit FolderDialog(std::wstring title) : title_(std::move(title)) {}

    // Runs the dialog owned by `owner`, centred horizontally with a third of the free screen
    // height above it. Returns the confirmed name's folder part (up to and including its last
    // separator), or nothing when the user cancelled. The working folder is the same afterwards.
    std::optional<std::wstring> Pick(HWND owner);

private:
    std::wstring title_;
    std::wstring last_; // the full name last confirmed
};

// The folder part of a full file name: C:\data\x gives C:\data\, C:\x gives C:\.
std::wstring FolderPart(const std::wstring& name);

} // namespace doplet::win32
