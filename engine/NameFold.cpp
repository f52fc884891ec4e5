#include "NameFold.h"

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
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return c | 1U;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c & 1U) != 0 ? c + 1 : c;
    }
    return c == 0x178 ? 0xFF : c;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0U) == 0x80U;
}

// Walks the folded name as bytes: ASCII letters lowered in place, two- and three-byte sequences
// decoded, folded and encoded again, everything else passed through.
template <typename Emit> void ForEachFoldedByte(std::string_view name, Emit emit) {
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80U) {
            emit(static_cast<unsigned char>(lead >= 'A' && lead <= 'Z' ? lead + 32 : lead));
            ++i;
            continue;
        }
        const std::size_t length = lead >= 0xC2U && lead <= 0xDFU   ? 2
                                   : lead >= 0xE0U && lead <= 0xEFU ? 3
                                                                    : 1;
        bool valid = length > 1 && i + length <= name.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = IsContinuation(static_cast<unsigned char>(name[i + k]));
        }
        if (!valid) {
            emit(lead);
            ++i;
            continue;
        }
        char32_t c = length == 2 ? lead & 0x1FU : lead & 0x0FU;
        for (std::size_t k = 1; k < length; ++k) {
            c = (c << 6U) | (static_cast<unsigned char>(name[i + k]) & 0x3FU);
        }
        c = FoldCodePoint(c);
        if (c < 0x800) {
            emit(static_cast<unsigned char>(0xC0U | (c >> 6U)));
        } else {
            emit(static_cast<unsigned char>(0xE0U | (c >> 12U)));
            emit(static_cast<unsigned char>(0x80U | ((c >> 6U) & 0x3FU)));
        }
        emit(static_cast<unsigned char>(0x80U | (c & 0x3FU)));
        i += length;
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
