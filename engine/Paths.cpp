#include "Paths.h"

namespace doplet {

std::string TrimFolderText(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string JoinPath(std::string_view folder, std::string_view entry) {
    while (!folder.empty() && IsSeparator(folder.back())) {
        folder.remove_suffix(1);
    }
    while (!entry.empty() && IsSeparator(entry.front())) {
        entry.remove_prefix(1);
    }
    std::string path;
    path.reserve(folder.size() + 1 + entry.size());
    path.append(folder);
    path.push_back(kSeparator);
    path.append(entry);
    return path;
}

void SplitEntry(std::string_view entry, std::string_view* folder, std::string_view* name) {
    const std::size_t last = entry.rfind(kSeparator);
    if (last == std::string_view::npos) {
        *folder = {};
        *name = entry;
        return;
    }
    *folder = entry.substr(0, last);
    *name = entry.substr(last + 1);
}

} // namespace doplet
