#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the import tables of the Windows programs: each may import directly only libraries that
# Windows always takes from its system folder, its "known" libraries (and API sets, which are no
# files at all). Any other library imported directly would be looked for beside the program first,
# before the program's entry point could narrow the search, so a DLL dropped there (a browser's
# Downloads folder) would run with the user's rights. The programs delay-load everything else
# (cmake/WindowsDllSearch.cmake); this keeps a later link change from bringing the hole back
# silently. Each program must also import SetDefaultDllDirectories, which its entry point calls.
#
#   scripts/check-windows-imports.sh EXE...
#
# Prints each program's direct imports; exits 1 naming those not allowed, 2 on a usage error.
set -euo pipefail

# Known on every Windows from 7 to 11 (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\
# KnownDLLs); ntdll is mapped into every process before anything else.
known=(
  advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi ntdll
  ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 wldap32 ws2_32
)

if [ $# -eq 0 ]; then
  echo "usage: $0 EXE..." >&2
  exit 2
fi
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || { echo "check-windows-imports: $objdump is missing (binutils-mingw-w64-x86-64)" >&2; exit 2; }

pattern="^(($(IFS='|'; echo "${known[*]}"))\.dll|api-ms-win-[a-z0-9-]+\.dll)\$"
status=0
for exe in "$@"; do
  [ -f "$exe" ] || { echo "check-windows-imports: $exe does not exist" >&2; exit 2; }
  table=$("$objdump" -p "$exe") || { echo "check-windows-imports: $exe is no Windows executable" >&2; exit 2; }
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$table" | sort -fu)
  echo "$(basename "$exe") imports directly: $(echo $dlls)"
  refused=$(grep -viE "$pattern" <<<"$dlls" || true)
  if [ -n "$refused" ]; then
    echo "check-windows-imports: $(basename "$exe") imports libraries that Windows would look for beside it:" \
         $refused "(delay-load them: ZELBOR_DELAY_LOADED_LIBRARIES in cmake/WindowsDllSearch.cmake)" >&2
    status=1
  fi
  # The function names of the import table follow their library's "DLL Name" line.
  if ! grep -qE '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+SetDefaultDllDirectories$' <<<"$table"; then
    echo "check-windows-imports: $(basename "$exe") does not narrow the DLL search" \
         "(no SetDefaultDllDirectories: is it linked with zelbor_system_dlls_only?)" >&2
    status=1
  fi
done
exit $status
