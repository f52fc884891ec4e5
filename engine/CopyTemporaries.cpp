#include "FileSystem.h"

#include <array>
#include <cstdio>

namespace doplet {

namespace {

constexpr std::string_view kTempPrefix = ".doplet-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTempHexDigits = 16;

} // namespace

std::string CopyTemporaryName(std::uint64_t random) {
    std::array<char, kTempHexDigits + 1> hex{};
    std::snprintf(hex.data(), hex.size(), "%016llx", static_cast<unsigned long long>(random));
    std::string name(kTempPrefix);
    name.append(hex.data(), kTempHexDigits);
    name.append(kTempSuffix);
    return name;
}

bool IsCopyTemporaryName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + kTempHexDigits + kTempSuffix.size() ||
        name.substr(0, kTempPrefix.size()) != kTempPrefix ||
        name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) {
        return false;
    }
    for (const char c : name.substr(kTempPrefix.size(), kTempHexDigits)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

} // namespace doplet
