#!/usr/bin/env bash
# Packages the built release twice, a second apart, in another time zone and with another umask, and
# fails unless both give the same bytes. Then lays out what the release's other tests use, in OUT:
#   first/, second/                       the two packagings
#   any folder/Downloads (2)/Quillidar-V  the zip of the first, unpacked
#   older/Quillidar-0.9-setup.exe         an installer of an "older version": the same files, with other
#                                         bytes in Quillidar.exe (a tail the loader ignores)
#   package_twice.sh OUT
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export ROOT
out=$1
rm -rf "$out"
mkdir -p "$out"
PYTHON=$(command -v /usr/bin/python3 || command -v python3)

TZ=UTC "$ROOT/scripts/package" --dist "$out/first" >/dev/null
sleep 1
(umask 077 && TZ=Asia/Shanghai "$ROOT/scripts/package" --dist "$out/second" >/dev/null)

status=0
for f in "$out/first"/*; do
  name=${f##*/}
  if ! cmp -s "$f" "$out/second/$name"; then
    echo "package_twice: $name differs between two runs on one commit" >&2
    status=1
  else
    echo "package_twice: $name identical ($(sha256sum <"$f" | cut -c1-16)...)"
  fi
done
[ "$(ls "$out/first")" = "$(ls "$out/second")" ] || { echo "package_twice: the runs wrote other files" >&2; status=1; }
((status == 0)) || exit 1

# Every entry sorted, stamped with the commit's time, under one folder named after the version.
zip=$(ls "$out"/first/*.zip)
"$PYTHON" - "$zip" <<'PY'
import os, subprocess, sys, time, zipfile
epoch = int(subprocess.check_output(["git", "-C", os.environ["ROOT"], "log", "-1", "--format=%ct"]))
names = [i.filename for i in zipfile.ZipFile(sys.argv[1]).infolist()]
stamps = {i.date_time for i in zipfile.ZipFile(sys.argv[1]).infolist()}
top = names[0]
problems = []
if names != sorted(names): problems.append("entries not sorted: %s" % names)
commit = time.gmtime(epoch)[:6]
# Zip times count seconds in twos.
if stamps != {commit[:5] + (commit[5] - commit[5] % 2,)}: problems.append("time stamps %s, not the commit's %s" % (stamps, commit))
if not top.endswith("/") or any(not n.startswith(top) for n in names): problems.append("not all under one folder")
for want in ("Quillidar.exe", "Help.chm", "README.txt", "LICENSE.txt"):
    if top + want not in names: problems.append("missing " + want)
if problems: sys.exit("package_twice: " + "; ".join(problems))
PY

unpacked="$out/any folder/Downloads (2)"
mkdir -p "$unpacked"
"$PYTHON" -m zipfile -e "$zip" "$unpacked"

# An older release: its description copied, its version and its program's bytes changed.
older=$out/older-release
mkdir -p "$older"
sed 's/^!define PRODUCT_VERSION ".*"$/!define PRODUCT_VERSION "0.9"/' "$ROOT/build/win64/release/identity.nsh" >"$older/identity.nsh"
while IFS=$'\t' read -r name path; do
  if [ "$name" = Quillidar.exe ]; then
    { cat "$path"; printf 'an older build'; } >"$older/$name"
    path=$older/$name
  fi
  printf '%s\t%s\n' "$name" "$path"
done <"$ROOT/build/win64/release/files.txt" >"$older/files.txt"
"$ROOT/scripts/package" --from "$older" --dist "$out/older" >/dev/null
