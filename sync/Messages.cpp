#include "Messages.h"

namespace doplet::sync {

namespace {

constexpr Messages kEnglish{
    .help = R"HELP(Usage: doplet-sync [OPTION]... FOLDER1 FOLDER2
Keeps two folders in step, as Doplet's copy window does: lists both folders, then copies the
newer copy of every file over the older one and every file found on one side only to the other
side, creating missing folders. Nothing is deleted or moved. Each copy and each failed copy is
one log line on standard output; a summary follows on standard error.

  -n, --dry-run   decide everything but write nothing; print the lines the pass would print,
                  each marked "(dry-run)"
  -q, --quiet     print failure lines only, and no summary
      --progress  show files done, bytes copied, rate and time left on standard error
                  (only when it is a terminal)
      --help      show this help and exit
      --version   show the version and exit

Log lines: "SOURCE->TARGET" for a copy, "SOURCE失敗しました Error－CODE" for a failure
(2 source gone, 3 folder missing or a file in its place, 5 access denied or read-only target,
32 file changed meanwhile, 80 two names the disk takes for one file, 112 disk full,
206 name too long, 31 anything else).

Exit status: 0 every copy succeeded or nothing was due; 1 some copies failed; 2 usage error
or a folder that is not a folder; 130 interrupted (SIGINT or SIGTERM stop after the current
file).
)HELP",
    .tryHelp = "Try 'doplet-sync --help' for more information.",
    .unknownOption = "unknown option",
    .folderCount = "exactly two folders are needed",
    .folder1Invalid = "folder 1 is not valid",
    .folder2Invalid = "folder 2 is not valid",
    .oneToTwo = "folder 1 -> folder 2",
    .twoToOne = "folder 2 -> folder 1",
    .files = " files",
    .bytes = " bytes",
    .copied = " copied",
    .planned = " to copy",
    .failed = "failed",
    .times = "",
    .elapsed = "elapsed",
    .seconds = " s",
    .dryRun = "dry run: nothing was written",
    .stopped = "interrupted: stopped after the file in hand",
    .progress = " files",
    .progressCopied = " copied",
    .progressLeft = " left",
    .fatal = "the pass ended with a failure",
};

constexpr Messages kJapanese{
    .help = R"HELP(使い方: doplet-sync [オプション]... フォルダー１ フォルダー２
Doplet のコピーウィンドウと同じ同期を行います。両方のフォルダーを一覧にし、
ファイルの日付と時間を比較して新しい方を古い方に上書きし、片方のみのファイルは
もう片方にコピーします（足りないフォルダーは作成します）。削除も移動もしません。
コピーと失敗ごとに 1 行のログを標準出力に、最後に集計を標準エラー出力に書きます。

  -n, --dry-run   判定だけ行い、何も書き込みません。行われるはずのログを
                  「(dry-run)」の印を付けて表示します
  -q, --quiet     失敗したログだけを表示し、集計も表示しません
      --progress  済んだファイル数、コピーしたバイト数、速度、残り時間を標準エラー
                  出力に表示します（端末のときのみ）
      --help      この説明を表示して終了します
      --version   版を表示して終了します

ログ: コピーは「コピー元->コピー先」、失敗は「コピー元失敗しました Error－コード」
（2 コピー元がない、3 フォルダーがないかファイルがある、5 アクセス拒否・書き込み禁止
ファイル、32 途中で変更された、80 ディスクが同じファイルとみなす２つの名前、
112 ディスクがいっぱい、206 名前が長すぎる、31 その他）。

終了コード: 0 すべて成功またはコピー不要、1 失敗あり、2 使い方の誤りまたは有効でない
フォルダー、130 中断（SIGINT・SIGTERM で今のファイルの後に止まります）。
)HELP",
    .tryHelp = "詳しくは 'doplet-sync --help' を実行してください。",
    .unknownOption = "不明なオプションです",
    .folderCount = "フォルダーを２つ指定してください",
    .folder1Invalid = "フォルダー１が有効ではありません",
    .folder2Invalid = "フォルダー２が有効ではありません",
    .oneToTwo = "フォルダー１→フォルダー２",
    .twoToOne = "フォルダー２→フォルダー１",
    .files = " ファイル",
    .bytes = " バイト",
    .copied = " コピーしました",
    .planned = " コピーする予定です",
    .failed = "失敗",
    .times = " 件",
    .elapsed = "経過時間",
    .seconds = " 秒",
    .dryRun = "dry-run: 何も書き込んでいません",
    .stopped = "中止しました（今のファイルの後で止めました）",
    .progress = " ファイル",
    .progressCopied = " コピー済",
    .progressLeft = " 残り",
    .fatal = "同期中にエラーが発生しました",
};

} // namespace

const Messages& MessagesFor(bool japanese) {
    return japanese ? kJapanese : kEnglish;
}

} // namespace doplet::sync
