#!/usr/bin/env bash
# A Windows build of catpack is a console program of the expected machine
# that needs no DLL but those every Windows has.
# Usage: check_exe.sh CATPACK_EXE "FILE_DESCRIPTION" OBJDUMP
set -euo pipefail
exe=$1
expected=$2
objdump=$3
description=$(file -b "$exe")
if [[ $description != "$expected"* ]]; then
  echo "$exe is \"$description\", not \"$expected\""
  exit 1
fi
extra=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | grep -viE '^(kernel32|msvcrt|advapi32|user32)\.dll$' || true)
if [[ -n $extra ]]; then
  echo "$exe needs DLLs beyond the system's: $extra"
  exit 1
fi
echo "$exe: $description, system DLLs only"
