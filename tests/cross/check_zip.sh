#!/usr/bin/env bash
# Checks the Windows package: a .zip holding catpack.exe and README.txt, the
# README with CR LF line ends only.
#
#   tests/cross/check_zip.sh <package.zip>
set -euo pipefail
package=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cmake -E tar xf "$(realpath -m "$OLDPWD/$package")")
listing=$(cd "$scratch" && find . -type f | sort)
echo "$listing"
exe=$(find "$scratch" -name catpack.exe | head -n 1)
readme=$(find "$scratch" -name README.txt | head -n 1)
[[ -n $exe && -n $readme ]] || { echo "catpack.exe or README.txt missing" >&2; exit 1; }
[[ $(find "$scratch" -type f | wc -l) -eq 2 ]] || { echo "unexpected files in the package" >&2; exit 1; }
lines=$(wc -l < "$readme")
crlf=$(grep -c $'\r$' "$readme" || true)
[[ $lines -gt 0 && $lines -eq $crlf ]] || { echo "README.txt: $crlf of $lines lines end in CR LF" >&2; exit 1; }
[[ $(file -b "$exe") == "PE32 executable (console) Intel 80386"* ]] ||
  { echo "catpack.exe is not the 32-bit console program" >&2; exit 1; }
echo "package ok: $package"
