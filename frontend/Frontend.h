#pragma once

// The rules both front-ends follow, free of any toolkit. Texts are UTF-8.

#include <cstdint>
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

// The text of the box for a failure that escaped a pass: "%sがﾓｼﾞｭｰﾙ %s の %p で発生しました。"
// with the failure's class, the module's file name and the code address (upper-case hex, as
// wide as a pointer), then a line break and the message with its full stop.
std::string FatalText(std::string_view errorClass, std::string_view module, std::uintptr_t address,
                      std::string_view message);

// Rectangles and points in pixels, for placing frames.
struct Point {
    int x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};
struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};

// The frame's top-left corner: unchanged when the whole frame lies inside `available`, otherwise
// moved along each axis by the least amount that brings it inside; a frame larger than the area
// along an axis is put at the area's start (the title bar stays reachable).
Point FitOnScreen(const Rect& frame, const Rect& available);

} // namespace doplet::frontend
