#include "NameFold.h"

#include "Utf8.h"

namespace doplet {

namespace {

char32_t FoldCodePoint(char32_t c) {
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    // Pairs of capital and small letter; each range ends at its last capital.
    if ((c >= 0x100 && c <= 0x136) || (c >= 0x14A && c <= 0x176)) {
        return c | 1U;
    }
    if ((c >= 0x139 && c <= 0x147) || (c >= 0x179 && c <= 0x17D)) {
        return (c & 1U) != 0 ? c + 1 : c;
    }
    return c == 0x178 ? 0xFF : c;
}

// Walks the folded name as bytes: ASCII letters lowered in place, other characters decoded,
// folded and encoded again, bytes that are not UTF-8 passed through.
template <typename Emit> void ForEachFoldedByte(std::string_view name, Emit emit) {
    std::string folded; // one character's bytes
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        char32_t c = 0;
        if (lead < 0x80U) {
            emit(static_cast<unsigned char>(lead >= 'A' && lead <= 'Z' ? lead + 32 : lead));
            ++i;
        } else if (!DecodeUtf8(name, &i, &c)) {
            emit(lead);
            ++i;
        } else {
            folded.clear();
            AppendUtf8(FoldCodePoint(c), &folded);
            for (const char byte : folded) {
                emit(static_cast<unsigned char>(byte));
            }
        }
    }
}

} // namespace

void AppendFolded(std::string_view name, std::string& out) {
    ForEachFoldedByte(name, [&](unsigned char byte) { out.push_back(static_cast<char>(byte)); });
}

std::uint64_t FoldedHash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    ForEachFoldedByte(name, [&](unsigned char byte) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    });
    return hash;
}

} // namespace doplet
