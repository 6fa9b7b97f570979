#!/usr/bin/env bash
# compare_dwgtext.sh LINUX_DWGTEXT WINDOWS_DWGTEXT: runs both builds of
# dwgtext (the second under wine) on the samples and on every drawing of
# ../shared/corpus, in several output forms, and fails unless standard
# output, standard error and exit status agree byte for byte. Nothing here
# knows what dwgtext prints: the Linux build is the reference.
set -uo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath "$1")
windows=$(realpath "$2")
export WINEPATH WINEDEBUG=-all
WINEPATH=$(winepath -w "$(dirname "$windows")/../..")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
compared=0
failed=0

# Whether the last runs of the two builds agree in every part.
agrees() {
  local part
  for part in out err rc; do
    cmp -s "$out/linux.$part" "$out/windows.$part" || return 1
  done
}

# compare DIR ARGS...: both builds run in DIR with ARGS.
compare() {
  local dir=$1
  shift
  (cd "$dir" && "$linux" "$@" >"$out/linux.out" 2>"$out/linux.err" </dev/null; echo $? >"$out/linux.rc")
  # wine itself can fail under load: its connection to its server drops,
  # or a run ends at once with status 1 and prints nothing at all. Such a
  # run says nothing about dwgtext.exe, so a run that disagrees is made once
  # more; a real difference disagrees again.
  for attempt in 1 2; do
    (cd "$dir" && wine "$windows" "$@" >"$out/windows.out" 2>"$out/windows.err" </dev/null; echo $? >"$out/windows.rc")
    agrees && break
  done
  compared=$((compared + 1))
  for part in out err rc; do
    if ! cmp -s "$out/linux.$part" "$out/windows.$part"; then
      echo "FAIL: dwgtext $* (in $dir): standard $part differs"
      diff <(head -c 4000 "$out/linux.$part") <(head -c 4000 "$out/windows.$part") | head -20
      failed=$((failed + 1))
    fi
  done
}

# compare_stdin FILE: the drawing on standard input.
compare_stdin() {
  "$linux" - <"$1" >"$out/linux.out" 2>&1
  wine "$windows" - <"$1" >"$out/windows.out" 2>&1
  compared=$((compared + 1))
  cmp -s "$out/linux.out" "$out/windows.out" || { echo "FAIL: dwgtext - < $1 differs"; failed=$((failed + 1)); }
}

for dir in samples ../shared/corpus; do
  [[ -d $dir ]] || { echo "no $dir: skipped"; continue; }
  mapfile -t drawings < <(cd "$dir" && ls -- *.dwg)
  for options in "" "--json" "--codepage ANSI_1251" "--codepage DOS932"; do
    # shellcheck disable=SC2086  # the options are words
    compare "$dir" $options "${drawings[@]}"
  done
  for drawing in "${drawings[@]}"; do
    compare "$dir" "$drawing"
  done
  compare_stdin "$dir/${drawings[0]}"
done
echo "dwgtext.exe: $((compared - failed)) of $compared comparisons with the Linux dwgtext agree"
((failed == 0))
