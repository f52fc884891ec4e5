#pragma once

// The texts of the windows' message boxes and failures, UTF-8, in one place for both
// front-ends. "%s" stands for the name that Format puts in.

#include <string_view>

namespace doplet::texts {

inline constexpr std::string_view kErrorCaption = "エラー";
inline constexpr std::string_view kFolder1Invalid = "フォルダー１が有効ではありません";
inline constexpr std::string_view kFolder2Invalid = "フォルダー２が有効ではありません";

// The main window's context menu, top to bottom (the hyphens are an ordinary entry that does
// nothing), and the titles of its two folder dialogs.
inline constexpr std::string_view kMenuInformation = "情報";
inline constexpr std::string_view kMenuHyphens = "---------------";
inline constexpr std::string_view kMenuExit = "プログラムの終了";
inline constexpr std::string_view kFolder1Title = "フォルダー１の選択";
inline constexpr std::string_view kFolder2Title = "フォルダー２の選択";

// The about window's contact lines: placeholders under the reserved top-level domain .invalid
// (RFC 2606), like the package's contact.
inline constexpr std::string_view kContactMail = "E-mail: doplet@quillbarrow.invalid";
inline constexpr std::string_view kContactWeb = "HomePage: https://quillbarrow.invalid/doplet/";
inline constexpr std::string_view kContactWeb2 = "https://quillbarrow.invalid/";

// The folder settings (the value's name in place of %s; the key's is always empty).
inline constexpr std::string_view kBadDataType = "'%s' のﾃﾞｰﾀ型が不正です";
inline constexpr std::string_view kKeyNotCreated = "ｷｰ %s の作成に失敗しました";
inline constexpr std::string_view kValueNotSet = "'%s' の設定に失敗しました";

// The copy window: its button, the abort question and the log's context menu.
inline constexpr std::string_view kAbortCaption = "中止";
inline constexpr std::string_view kDoneCaption = "完了";
inline constexpr std::string_view kConfirmCaption = "確認";
inline constexpr std::string_view kAskAbort = "コピーを中止しますか？";
inline constexpr std::string_view kCopyAll = "すべてコピー";
inline constexpr std::string_view kSaveLogItem = "ログを保存...";
inline constexpr std::string_view kSaveLogCaption = "ログを保存";
// The folder's number (full-width) in place of %s.
inline constexpr std::string_view kSaveLogInside =
    "ログはフォルダー%sの中には保存できません（次の実行でもう一方にコピーされます）。"
    "別の場所を選んでください。";
// The file's name in place of %s, the system's reason after it.
inline constexpr std::string_view kSaveLogFailed = "ログを %s に保存できませんでした: ";

// A failure that escaped a pass: its class, module and code address (FatalText).
inline constexpr std::string_view kFatalCaption = "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ";

} // namespace doplet::texts
