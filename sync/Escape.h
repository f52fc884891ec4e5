#pragma once

// Names as doplet-sync prints them: one log line is always one line, whatever a name holds.

#include <string>
#include <string_view>

namespace doplet::sync {

// The path with every control character written as an escape, so that no name can break a line
// or forge another: C0 controls and DEL as "\xHH", C1 controls, U+2028 and U+2029 as "\uHHHH",
// bytes that are not UTF-8 as "\xHH". Where a name may hold a backslash (not on Windows, where
// it only separates folders) it is written "\\", so that every escape reads one way only.
std::string EscapedPath(std::string_view path);

} // namespace doplet::sync
