#include "Escape.h"

#include "Paths.h"
#include "Utf8.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace doplet::sync {

namespace {

void AppendHex(std::string* out, const char* format, unsigned value) {
    std::array<char, 8> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, value);
    out->append(buffer.data());
}

bool IsControl(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029;
}

} // namespace

std::string EscapedPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t start = at;
        char32_t code = 0;
        if (!DecodeUtf8(path, &at, &code)) {
            AppendHex(&out, "\\x%02X", static_cast<unsigned char>(path[at++]));
        } else if (code == U'\\' && kSeparator != '\\') {
            out.append("\\\\");
        } else if (IsControl(code)) {
            AppendHex(&out, code < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(code));
        } else {
            out.append(path.substr(start, at - start));
        }
    }
    return out;
}

} // namespace doplet::sync
