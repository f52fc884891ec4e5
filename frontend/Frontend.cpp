#include "Frontend.h"

#include "NameFold.h"
#include "Texts.h"

#include <algorithm>
#include <cstdio>

namespace doplet::frontend {

namespace {

#ifdef _WIN32
constexpr std::string_view kFolderEnds = "\\/";
#else
constexpr std::string_view kFolderEnds = "/";
#endif

// The length of the UTF-8 sequence that begins with `lead` (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

int FitAxis(int start, int length, int areaStart, int areaLength) {
    if (length >= areaLength) {
        return areaStart;
    }
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

} // namespace

std::string ProgramTitle(std::string_view programFile) {
    const std::size_t folderEnd = programFile.find_last_of(kFolderEnds);
    std::string_view name =
        folderEnd == std::string_view::npos ? programFile : programFile.substr(folderEnd + 1);
    name = name.substr(0, name.find('.'));
    if (name.empty()) {
        return {};
    }
    const std::size_t first =
        std::min(SequenceLength(static_cast<unsigned char>(name.front())), name.size());
    // Lower case as names are folded on a case-insensitive disk: the scripts program names are
    // written in (Latin, Greek, Cyrillic, full-width Latin).
    std::string title(name.substr(0, first));
    AppendFolded(name.substr(first), title);
    return title;
}

std::string WithFullStop(std::string_view message) {
    std::string text(message);
    // A multi-byte character's last byte sorts after the full stop, as the character does.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text += '.';
    }
    return text;
}

std::string Format(std::string_view pattern, std::string_view name) {
    std::string text(pattern);
    if (const std::size_t at = text.find("%s"); at != std::string::npos) {
        text.replace(at, 2, name);
    }
    return text;
}

ExecuteCheck CheckExecute(const std::function<bool(const std::string&)>& directoryExists,
                          const std::string& folder1, const std::string& folder2) {
    if (!directoryExists(folder1)) {
        return ExecuteCheck::Folder1Invalid; // folder 2 is not looked at then
    }
    if (!directoryExists(folder2)) {
        return ExecuteCheck::Folder2Invalid;
    }
    return ExecuteCheck::Ready;
}

std::string_view ExecuteMessage(ExecuteCheck check) {
    switch (check) {
    case ExecuteCheck::Folder1Invalid:
        return texts::kFolder1Invalid;
    case ExecuteCheck::Folder2Invalid:
        return texts::kFolder2Invalid;
    case ExecuteCheck::Ready:
        break;
    }
    return {};
}

std::string FatalText(std::string_view errorClass, std::string_view module, std::uintptr_t address,
                      std::string_view message) {
    char where[2 * sizeof address + 1] = {};
    std::snprintf(where, sizeof where, "%0*llX", static_cast<int>(2 * sizeof address),
                  static_cast<unsigned long long>(address));
    std::string text(errorClass);
    text += "がﾓｼﾞｭｰﾙ ";
    text += module;
    text += " の ";
    text += where;
    text += " で発生しました。\n";
    return text + WithFullStop(message);
}

Point FitOnScreen(const Rect& frame, const Rect& available) {
    return {FitAxis(frame.left, frame.width, available.left, available.width),
            FitAxis(frame.top, frame.height, available.top, available.height)};
}

} // namespace doplet::frontend
