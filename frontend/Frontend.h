#pragma once

// The rules both front-ends follow, free of any toolkit. Texts are UTF-8.

#include <functional>
#include <string>
#include <string_view>

namespace doplet::frontend {

// The program's title: the program file's name without folder and extension (cut at the first
// full stop), every character after the first in lower case. On Windows both "\" and "/" end
// a folder, elsewhere "/" only.
std::string ProgramTitle(std::string_view programFile);

// The error box's text: the message with a full stop appended, unless it already ends in one or
// in a character that sorts before it.
std::string WithFullStop(std::string_view message);

// `pattern` with its "%s" replaced by `name`.
std::string Format(std::string_view pattern, std::string_view name);

// Execute's check of the two folder texts, taken untrimmed: the first that is no existing folder.
enum class ExecuteCheck { Ready, Folder1Invalid, Folder2Invalid };
ExecuteCheck CheckExecute(const std::function<bool(const std::string&)>& directoryExists,
                          const std::string& folder1, const std::string& folder2);
// The text of the box that reports a refused Execute (empty for Ready); its caption is
// texts::kErrorCaption.
std::string_view ExecuteMessage(ExecuteCheck check);

} // namespace doplet::frontend
