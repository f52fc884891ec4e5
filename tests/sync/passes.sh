#!/usr/bin/env bash
# doplet-sync end to end on real folders: the Linux program, or the Windows one under Wine (second
# argument "wine"). Exit statuses and messages; the exact lines of a pass, of its dry run (which
# writes nothing) and of the next pass (failures only); names beyond ASCII, a path beyond 260
# characters, a read-only target (5), a read-only source carried, two files in one two-second
# step, names that differ only in case (80 where the file system folds them), the summary. On
# Linux besides: created folders as closed as their sources whatever the umask, with their ACLs
# and attributes; names with control characters on one escaped line; a dry run that foresees
# what an unprivileged user may not write; and an interrupt (SIGINT, SIGHUP) or a closed output
# that stops after the file in hand (130). Prints each difference; exits 1 on any.
#   passes.sh DOPLET_SYNC [wine]        (under Wine with WINEPREFIX set)
set -uo pipefail
exe=$(realpath "$1") wine=${2:-}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
as=() # the words that run the program as another user
sort() { LC_ALL=C command sort "$@"; } # one order, whatever the language of a run

# A file with content $2, last written $3 seconds (default 0) after an even second.
f() { mkdir -p "$(dirname "$1")" && printf %s "$2" >"$1" && touch -d "@$((1600000000 + ${3:-0}))" "$1"; }
# A path below the work folder as the program takes and logs it (Z:\... under Wine).
native() {
  if [ -n "$wine" ]; then local p="Z:$work/$1" && printf %s "${p//\//\\}"; else printf %s "$work/$1"; fi
}
# Runs the program with these words, folder names made native, in the language $LANG: standard
# output in out (sorted lines, Linux line ends), standard error in err, the exit status in status.
run() {
  local words=() w
  for w; do case $w in -*) words+=("$w") ;; *) words+=("$(native "$w")") ;; esac; done
  if [ -n "$wine" ]; then
    # Wine reads Linux names in the character set of LC_CTYPE, whatever the language.
    LC_CTYPE=C.UTF-8 WINEDEBUG=-all /usr/lib/wine/wine64 "$exe" "${words[@]}" >out 2>err
  else
    "${as[@]}" "$exe" "${words[@]}" >out 2>err
  fi
  status=$?
  sed -i 's/\r$//' out err && cp out raw && sort -o out out
}
expect() { [ "$2" = "$3" ] || { printf '%s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"; failed=1; }; }
# The log lines, sorted: "1>a" a copy of a from side 1 to side 2, "2!a!5" a failure of side 2's a.
lines() {
  local line from rest entry sep=/
  [ -n "$wine" ] && sep='\'
  for line; do
    from=${line:0:1} rest=${line:2}
    entry=$sep${rest%%!*} && entry=${entry//\//$sep}
    case ${line:1:1} in
      '>') printf '%s%s->%s%s\n' "$(native "$from")" "$entry" "$(native $((3 - from)))" "$entry" ;;
      '!') printf '%s%s失敗しました Error－%s\n' "$(native "$from")" "$entry" "${rest##*!}" ;;
    esac
  done | sort
}
# Every name below both sides with its kind, mode and time, and every file's checksum.
tree() { find 1 2 -printf '%p %y %m %T@\n' | sort && find 1 2 -type f -exec md5sum {} + | sort; }

# Bad words: the status, and on Linux the message in the user's language.
mkdir 1 && f a x
for row in "1|exactly two folders are needed" "--frobnicate 1 2|unknown option: --frobnicate" \
  "--jobs=65 1 2|-j needs a number of files from 1 to 64: --jobs=65" \
  "a 1|フォルダー１が有効ではありません: $(native a)" "1 nowhere|folder 2 is not valid: $(native nowhere)"; do
  # shellcheck disable=SC2086 # the words of the row
  LANG=$([[ $row == a* ]] && echo ja_JP.UTF-8 || echo C) run ${row%%|*}
  expect "status of: ${row%%|*}" 2 "$status"
  [ -n "$wine" ] || expect "message of: ${row%%|*}" "${row#*|}" "$(grep -oF -- "${row#*|}" err)"
done
rm -rf 1 a

# One pass over every kind of pair, after its dry run, then the next pass.
long=$(printf 'a%.0s' {1..90})/$(printf 'b%.0s' {1..90})/$(printf 'c%.0s' {1..90})/長い名前.txt
memo="日本語/Café 🎵/メモ$(printf '\356\200\200\360\220\200\200\364\217\277\277').txt" # U+E000 U+10000 U+10FFFF
f "1/$memo" A && f "1/$long" L
f 1/a.txt old && f 2/a.txt new 10 && f 1/b.txt new 10 && f 2/b.txt old
f 1/s.txt one && f 2/s.txt two 1 && f 1/r.txt new 10 && f 2/r.txt old && f 2/ro.txt R
f 1/File.txt A && f 1/file.txt B 10 && chmod a-w 2/r.txt 2/ro.txt
pass1=(2\>a.txt 1\>b.txt 1!r.txt!5 2\>ro.txt "1>$memo" "1>$long" 1\>File.txt)
pass2=(1!r.txt!5) dry=("${pass1[@]}" 1!file.txt!80) # a dry run cannot tell whether side 2 folds
if [ -n "$wine" ]; then # folded on the Windows side: the first name in, the second refused ever
  pass1+=(1!file.txt!80) pass2+=(1!File.txt!80 1!file.txt!80)
else
  pass1+=(1\>file.txt)
fi
before=$(tree)
LANG=C run -n 1 2
expect "dry run: status" 1 "$status"
expect "dry run: lines" "$(lines "${dry[@]}")" "$(sed 's/(dry-run) //' out | sort)"
expect "dry run: nothing written" "$before" "$(tree)"
LANG=ja_JP.UTF-8 run 1 2
expect "pass 1: status" 1 "$status"
expect "pass 1: lines" "$(lines "${pass1[@]}")" "$(cat out)"
[ -n "$wine" ] || expect "pass 1: summary" "フォルダー１→フォルダー２: 5 ファイル, 7 バイト コピーしました
フォルダー２→フォルダー１: 2 ファイル, 4 バイト コピーしました
失敗: 1 件
  Error－5: 1 件、アクセスが拒否されました: 書き込み禁止のファイル、またはフォルダーかリンク" \
  "$(grep -v 経過 err)"
for n in 2 3; do
  LANG=C run 1 2
  expect "pass $n: status" 1 "$status"
  expect "pass $n: lines" "$(lines "${pass2[@]}")" "$(cat out)"
done
contents() { for name; do printf '%s|%s ' "$(cat "1/$name")" "$(cat "2/$name" 2>/dev/null)"; done; }
expect "contents" "A|A L|L new|new new|new one|two new|old R|R A|A " \
  "$(contents "$memo" "$long" a.txt b.txt s.txt r.txt ro.txt File.txt)"
expect "read-only source carried" "r--" "$(stat -c %A 1/ro.txt | cut -c2-4)"
expect "temporaries left" "" "$(find 1 2 -name '.doplet-*')"

# Nothing due: status 0 and the summary of nothing.
rm -rf 1 2 && f 1/a x && f 2/a x
LANG=C run 1 2
expect "nothing due" "0|folder 1 -> folder 2: 0 files, 0 bytes copied
folder 2 -> folder 1: 0 files, 0 bytes copied
failed: 0" "$status|$(cat out)$(grep -v elapsed err)"

[ -n "$wine" ] && exit $failed

# Folders the pass creates: never more open than their sources, whatever the umask, with their
# ACLs and attributes.
rm -rf 1 2 && mkdir -p 1/p/q 1/p/r 2 && f 1/p/q/a xyz && f 1/p/r/b ""
chmod 700 1/p && chmod 750 1/p/q 1/p/r && setfattr -n user.note -v kept 1/p
setfacl -m u:65534:rx,g::--- 1/p/q && setfacl -d -m g::--- 1/p/r # fails loudly where none are held
(umask 000 && LANG=C run 1 2)
expect "folders: status and summary" "0|folder 1 -> folder 2: 2 files, 3 bytes copied" "$status|$(head -1 err)"
expect "folders: modes, ACLs, attribute" "700 750 750|$(getfacl -cp 1/p/q 1/p/r)|kept" \
  "$(stat -c %a 2/p 2/p/q 2/p/r | xargs)|$(getfacl -cp 2/p/q 2/p/r)|$(getfattr --only-values -n user.note 2/p)"

# Names with control characters and backslashes: one line each, escaped, and no forged failure.
rm -rf 1 2 && mkdir 1 2
f "1/x"$'\n'"payroll.xlsx失敗しました Error－5" P && f "1/t"$'\t'"a\\b"$'\e'"[31m" T
f "1/u"$'\x7f\xc2\x85\xc2\x9f\xc2\xa0\xe2\x80\xa8\xe2\x80\xa9\xff' U # DEL, C1, NBSP, U+2028/9, no UTF-8
LANG=C run 1 2
u='u\x7F\u0085\u009F'$'\xc2\xa0''\u2028\u2029\xFF'
expect "control characters: status and lines" "0|$work/1/t\\x09a\\\\b\\x1B[31m->$work/2/t\\x09a\\\\b\\x1B[31m
$work/1/$u->$work/2/$u
$work/1/x\\x0Apayroll.xlsx失敗しました Error－5->$work/2/x\\x0Apayroll.xlsx失敗しました Error－5" "$status|$(cat out)"
LANG=C run -q 1 2
expect "quiet, nothing due" "0||" "$status|$(cat out)|$(cat err)"

# As a user who may not read or write everything (side 2 is root's, mode 755, its folder w the
# user's): what is refused fails and stays as it was, a folder the user may not read is left out,
# what is allowed is copied and belongs to the user; the dry run foresees the real pass's lines.
if [ "$(id -u)" = 0 ]; then
  rm -rf 1 2 && mkdir -p 1 2/w/l.real && chmod 755 "$work"
  f 1/a.txt A && f 1/sub/b.txt B && f 1/w/ok.txt O && f 1/w/c/d.txt D && f 1/w/l/x.txt X
  f 1/w/r.txt new 10 && f 2/w/r.txt old && chmod 444 2/w/r.txt && f 1/w/mine.txt new 10
  f 2/w/mine.txt old && f 2/w/c file && ln -s l.real 2/w/l && f 1/w/secret S && f 1/hidden/h H
  chmod -R a+rX 1 && chmod 0 1/w/secret && chmod 700 1/hidden
  chown -R 65534:65534 2/w && chown root:root 2/w/mine.txt && before=$(tree | grep -v -e ok.txt -e '^2/w d')
  as=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  LANG=C run -n 1 2 && dry=$(sed 's/(dry-run) //' out) drystatus=$status
  LANG=C run 1 2
  as=()
  expect "unprivileged: lines" "$(lines 1!a.txt!5 1!sub/b.txt!3 1\>w/ok.txt 1!w/c/d.txt!3 \
    1!w/l/x.txt!5 1!w/r.txt!5 1!w/mine.txt!5 1!w/secret!5 2!w/c!5 2!w/l!5)" "$(cat out)"
  expect "unprivileged: the dry run foresees them" "$(cat out)|$status" "$dry|$drystatus"
  expect "unprivileged: the rest as it was, the copy the user's" "$before|65534" \
    "$(tree | grep -v -e ok.txt -e '^2/w d')|$(stat -c %u 2/w/ok.txt)"
else
  echo "SKIPPED: the rows of an unprivileged user need root to arrange them"
fi

# Several files copied at once log what one at a time logs, in the same order (raw: unsorted).
chmod -R u+w 1 2 && rm -rf 1 2
for i in $(seq 200); do f "1/d$((i % 7))/f$i" "$(printf "%$((i * 60))s")"; done
for j in 1 4; do rm -rf 2 && mkdir 2 && run -j$j 1 2 && cp raw raw$j; done
expect "-j 4 logs the 200 lines of -j 1" "200 $(cat raw1)" "$(wc -l <raw1) $(cat raw4)"

# A stop once the first line is out (till then the unread pipe holds the pass): an interrupt, a
# hang-up, or the reader of the output gone. 130, the targets of the lines complete, every other
# one old or missing, no temporary.
stopped() { # $1 the stop: a signal's name, or "close"; standard output in out
  chmod -R u+w 1 2 && rm -rf 1 2 && mkdir 1 2 && rm -f p && mkfifo p
  for i in $(seq 3000); do echo new >1/f$i; done && touch -d @1600000100 1/*
  for i in $(seq 2 2 3000); do echo old >2/f$i; done && touch -d @1600000000 2/*
  LANG=C "$exe" "$work/1" "$work/2" >p 2>err &
  exec 3<p && c=$(dd bs=1 count=1 <&3 2>/dev/null)
  if [ "$1" = close ]; then
    exec 3<&- && : >out
  else
    kill -"$1" $! && { printf %s "$c" && cat <&3; } >out
  fi
  wait $!
}
for stop in INT HUP close; do
  stopped $stop
  expect "$stop: status" 130 "$?"
  message="interrupted: stopped after the file in hand"
  [ $stop = close ] && message="standard output was closed: stopped after the file in hand"
  expect "$stop: message" "$message" "$(grep -o "$message" err)"
  [ $stop = close ] || {
    copied=$(wc -l <out)
    [ "$copied" -gt 0 ] && [ "$copied" -lt 3000 ] || expect "$stop: lines" "between 1 and 2999" "$copied"
    expect "$stop: complete targets" "$(sed 's/.*->.*\/2\///' out | sort)" "$(cd 2 && grep -lx new -- * | sort)"
  }
  expect "$stop: not all copied" 1 "$(cd 2 && grep -qLx new -- * && echo 1)"
  expect "$stop: old or missing" "" "$(cd 2 && ls -A | grep -v '^f'; grep -Lx -e new -e old -- *)"
done
exit $failed
