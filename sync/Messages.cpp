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
                  each marked "(dry-run)" (what it cannot know: see the manual)
  -q, --quiet     print failure lines only, and no summary
  -j, --jobs N    copy N files at a time, 1 to 64 (default: one per core, at most 8);
                  the log lines come in the same order whatever N is
      --progress  show files done, bytes copied, rate and time left on standard error
                  (only when it is a terminal)
      --help      show this help and exit
      --version   show the version and exit

Log lines: "SOURCE->TARGET" for a copy, "SOURCE失敗しました Error－CODE" for a failure
(2 source gone, 3 folder missing or a file in its place, 5 access denied or read-only target,
32 file changed meanwhile, 80 two names the disk takes for one file, 112 disk full,
206 name too long, 31 anything else). Control characters in names are written as \xHH or
\uHHHH and, on Linux, a backslash as \\, so that every log line is one line.

Exit status: 0 every copy succeeded or nothing was due; 1 some copies failed; 2 usage error
or a folder that is not a folder; 130 stopped after the current file by SIGINT, SIGTERM or
SIGHUP, or because standard output was closed.
)HELP",
    .tryHelp = "Try 'doplet-sync --help' for more information.",
    .unknownOption = "unknown option",
    .folderCount = "exactly two folders are needed",
    .badJobs = "-j needs a number of files from 1 to 64",
    .folder1Invalid = "folder 1 is not valid",
    .folder2Invalid = "folder 2 is not valid",
    .oneToTwo = "folder 1 -> folder 2",
    .twoToOne = "folder 2 -> folder 1",
    .file = " file",
    .files = " files",
    .byte = " byte",
    .bytes = " bytes",
    .copied = " copied",
    .planned = " to copy",
    .failed = "failed",
    .times = "",
    .failedFile = " file",
    .failedFiles = " files",
    .elapsed = "elapsed",
    .seconds = " s",
    .dryRun = "dry run: nothing was written",
    .stopped = "interrupted: stopped after the file in hand",
    .outputClosed = "standard output was closed: stopped after the file in hand",
    .progress = " files",
    .progressCopied = " copied",
    .progressLeft = " left",
    .fatal = "the pass ended with a failure",
    .meaningSeparator = ", ",
    .meanings = {{
        {2, "the source file is gone"},
        {3, "a folder is missing or a file is in its place, or a root has moved"},
        {5, "access denied: a read-only target, a folder or a link in the file's place"},
        {32, "the file changed while it was being copied"},
        {80, "two names the disk takes for one file"},
        {112, "the disk is full"},
        {206, "the name or path is too long"},
        {1113, "the name has no UTF-8 form"},
        {31, "another failure"},
    }},
};

constexpr Messages kJapanese{
    .help = R"HELP(使い方: doplet-sync [オプション]... フォルダー１ フォルダー２
Doplet のコピーウィンドウと同じ同期を行います。両方のフォルダーを一覧にし、
ファイルの日付と時間を比較して新しい方を古い方に上書きし、片方のみのファイルは
もう片方にコピーします（足りないフォルダーは作成します）。削除も移動もしません。
コピーと失敗ごとに 1 行のログを標準出力に、最後に集計を標準エラー出力に書きます。

  -n, --dry-run   判定だけ行い、何も書き込みません。行われるはずのログを
                  「(dry-run)」の印を付けて表示します（分からないことはマニュアルに）
  -q, --quiet     失敗したログだけを表示し、集計も表示しません
  -j, --jobs N    同時に N 個のファイルをコピーします。1～64（既定: コア数、最大 8）。
                  N にかかわらずログの順序は同じです
      --progress  済んだファイル数、コピーしたバイト数、速度、残り時間を標準エラー
                  出力に表示します（端末のときのみ）
      --help      この説明を表示して終了します
      --version   版を表示して終了します

ログ: コピーは「コピー元->コピー先」、失敗は「コピー元失敗しました Error－コード」
（2 コピー元がない、3 フォルダーがないかファイルがある、5 アクセス拒否・書き込み禁止
ファイル、32 途中で変更された、80 ディスクが同じファイルとみなす２つの名前、
112 ディスクがいっぱい、206 名前が長すぎる、31 その他）。名前の中の制御文字は
\xHH・\uHHHH、Linux ではバックスラッシュを \\ と書くので、ログは必ず 1 行です。

終了コード: 0 すべて成功またはコピー不要、1 失敗あり、2 使い方の誤りまたは有効でない
フォルダー、130 中断（SIGINT・SIGTERM・SIGHUP または標準出力が閉じられたとき、今の
ファイルの後に止まります）。
)HELP",
    .tryHelp = "詳しくは 'doplet-sync --help' を実行してください。",
    .unknownOption = "不明なオプションです",
    .folderCount = "フォルダーを２つ指定してください",
    .badJobs = "-j には 1～64 のファイル数を指定してください",
    .folder1Invalid = "フォルダー１が有効ではありません",
    .folder2Invalid = "フォルダー２が有効ではありません",
    .oneToTwo = "フォルダー１→フォルダー２",
    .twoToOne = "フォルダー２→フォルダー１",
    .file = " ファイル",
    .files = " ファイル",
    .byte = " バイト",
    .bytes = " バイト",
    .copied = " コピーしました",
    .planned = " コピーする予定です",
    .failed = "失敗",
    .times = " 件",
    .failedFile = " 件",
    .failedFiles = " 件",
    .elapsed = "経過時間",
    .seconds = " 秒",
    .dryRun = "dry-run: 何も書き込んでいません",
    .stopped = "中止しました（今のファイルの後で止めました）",
    .outputClosed = "標準出力が閉じられたため中止しました（今のファイルの後で止めました）",
    .progress = " ファイル",
    .progressCopied = " コピー済",
    .progressLeft = " 残り",
    .fatal = "同期中にエラーが発生しました",
    .meaningSeparator = "、",
    .meanings = {{
        {2, "コピー元のファイルがありません"},
        {3, "フォルダーがないか、その場所にファイルがあるか、ルートが移動しました"},
        {5, "アクセスが拒否されました: 書き込み禁止のファイル、またはフォルダーかリンク"},
        {32, "コピー中にファイルが変更されました"},
        {80, "ディスクが同じファイルとみなす２つの名前です"},
        {112, "ディスクがいっぱいです"},
        {206, "名前かパスが長すぎます"},
        {1113, "UTF-8 に変換できない名前です"},
        {31, "その他のエラーです"},
    }},
};

} // namespace

const Messages& MessagesFor(bool japanese) {
    return japanese ? kJapanese : kEnglish;
}

} // namespace doplet::sync
