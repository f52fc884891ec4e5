#include "Frontend.h"

#include "Texts.h"

#include <algorithm>

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

// The lower-case form of one character of the scripts a program's name is written in: Latin
// (ASCII, Latin-1, Latin Extended-A), Greek, Cyrillic and the full-width Latin letters.
char32_t ToLower(char32_t c) {
    const auto in = [c](char32_t first, char32_t last) { return c >= first && c <= last; };
    if (in(U'A', U'Z') || (in(0xC0, 0xDE) && c != 0xD7) || (in(0x391, 0x3AB) && c != 0x3A2) ||
        in(0x410, 0x42F) || in(0xFF21, 0xFF3A)) {
        return c + 0x20;
    }
    if (in(0x400, 0x40F)) {
        return c + 0x50;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c == 0x130) {
        return U'i'; // the capital I with a dot above, as Windows lowers it
    }
    // Latin Extended-A: upper case at even places, but at odd ones in 0x139-0x148 and 0x179-0x17E.
    const bool oddUpper = in(0x139, 0x148) || in(0x179, 0x17E);
    if ((in(0x100, 0x137) || in(0x14A, 0x177) || oddUpper) && (c % 2 == 1) == oddUpper) {
        return c + 1;
    }
    return c;
}

std::string LowerUtf8(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = std::min(SequenceLength(lead), text.size() - at);
        char32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t i = 1; i < length; ++i) {
            c = c << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
        }
        const char32_t lower = ToLower(c);
        if (lower == c) {
            out.append(text.substr(at, length)); // untouched, whatever its bytes
        } else if (lower < 0x80) {
            out += static_cast<char>(lower);
        } else if (lower < 0x800) {
            out += static_cast<char>(0xC0 | lower >> 6);
            out += static_cast<char>(0x80 | (lower & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | lower >> 12);
            out += static_cast<char>(0x80 | (lower >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (lower & 0x3F));
        }
        at += length;
    }
    return out;
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
    return std::string(name.substr(0, first)) + LowerUtf8(name.substr(first));
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

} // namespace doplet::frontend
