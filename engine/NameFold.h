#pragma once

// Names that a case-insensitive file system (exFAT or FAT on a USB stick, a shared folder) takes
// for the same name: such a file system keeps one file where a case-sensitive one keeps two.

#include <cstdint>
#include <string>
#include <string_view>

namespace doplet {

// Appends `name` folded to lower case the way such file systems compare names: ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic and full-width Latin letters (simple one-to-one case folding).
// Bytes that are not valid UTF-8 are kept as they are.
void AppendFolded(std::string_view name, std::string& out);

// A hash of the folded name, computed without building it.
std::uint64_t FoldedHash(std::string_view name);

} // namespace doplet
