#include "Utf8.h"

namespace doplet {

bool DecodeUtf8(std::string_view text, std::size_t* at, char32_t* code) {
    const auto lead = static_cast<unsigned char>(text[*at]);
    if (lead < 0x80U) {
        *code = lead;
        ++*at;
        return true;
    }
    // The length of the sequence, the payload bits of its lead byte and its smallest value.
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead >= 0xC2U && lead < 0xE0U) {
        length = 2;
        value = lead & 0x1FU;
        least = 0x80;
    } else if (lead >= 0xE0U && lead < 0xF0U) {
        length = 3;
        value = lead & 0x0FU;
        least = 0x800;
    } else if (lead >= 0xF0U && lead < 0xF5U) {
        length = 4;
        value = lead & 0x07U;
        least = 0x10000;
    } else {
        return false;
    }
    if (text.size() - *at < length) {
        return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[*at + k]);
        if ((next & 0xC0U) != 0x80U) {
            return false;
        }
        value = (value << 6U) | (next & 0x3FU);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) {
        return false;
    }
    *code = value;
    *at += length;
    return true;
}

void AppendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
        return;
    }
    // The lead byte, then the continuation bytes from the highest bits down.
    unsigned more = 3;
    unsigned lead = 0xF0U;
    if (code < 0x800) {
        more = 1;
        lead = 0xC0U;
    } else if (code < 0x10000) {
        more = 2;
        lead = 0xE0U;
    }
    out->push_back(static_cast<char>(lead | (code >> (6U * more))));
    while (more-- > 0) {
        out->push_back(static_cast<char>(0x80U | ((code >> (6U * more)) & 0x3FU)));
    }
}

bool Utf8ToUtf16(std::string_view text, std::u16string* out) {
    out->clear();
    out->reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t code = 0;
        if (!DecodeUtf8(text, &at, &code)) {
            return false;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (code >> 10U)));
            out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FFU)));
        } else {
            out->push_back(static_cast<char16_t>(code));
        }
    }
    return true;
}

void AppendUtf16AsUtf8(std::u16string_view text, std::string* out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10U) + (text[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(code, out);
    }
}

} // namespace doplet
