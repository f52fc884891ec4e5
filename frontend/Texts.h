#pragma once

// The texts of the windows' message boxes and failures, UTF-8, in one place for both
// front-ends. "%s" stands for the name that Format puts in.

#include <string_view>

namespace doplet::texts {

inline constexpr std::string_view kErrorCaption = "エラー";
inline constexpr std::string_view kFolder1Invalid = "フォルダー１が有効ではありません";
inline constexpr std::string_view kFolder2Invalid = "フォルダー２が有効ではありません";

// The folder settings (the value's name in place of %s; the key's is always empty).
inline constexpr std::string_view kBadDataType = "'%s' のﾃﾞｰﾀ型が不正です";
inline constexpr std::string_view kKeyNotCreated = "ｷｰ %s の作成に失敗しました";
inline constexpr std::string_view kValueNotSet = "'%s' の設定に失敗しました";

} // namespace doplet::texts
