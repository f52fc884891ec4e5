#pragma once

// The program's three windows, each made once and living until the program ends: the main
// window first (its creation step loads the folder texts and lists both folders), then the copy
// window and the about window, hidden.

#include "CopyWin.h"
#include "FileSystem.h"
#include "main1.h"
#include "version1.h"

#include <memory>

namespace doplet {

struct Windows {
    explicit Windows(const std::shared_ptr<FileSystem>& fs) : Fmain1(fs), FCopyWin(Fmain1, fs) {
        Fmain1.attachWindows(&FCopyWin, &FVersion1);
    }

    TFmain1 Fmain1;
    TFCopyWin FCopyWin;
    TFVersion1 FVersion1;
};

} // namespace doplet
