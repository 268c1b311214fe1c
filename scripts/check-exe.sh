#!/bin/sh
# check-exe.sh: the two shipped executables are what users download:
# - of the right kind (PE32 and PE32+, GUI subsystem);
# - importing nothing but system DLLs, so they run on a bare Windows with no
#   toolchain DLL beside them, and none of the toolchain's threading or C++
#   exception runtime, which a one-thread program without exceptions has no
#   use for;
# - small;
# - carrying the manifest, byte for byte the valid file in the sources with
#   its four settings (Wine starts a program whose manifest is malformed;
#   Windows refuses to), and the version resource Explorer shows;
# - with no build time in the header, so that a build of the same sources
#   gives the same bytes;
# - large-address-aware.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
manifest=$root/src/app/res/hexbin.manifest
SYSTEM_DLLS="kernel32.dll user32.dll comdlg32.dll msvcrt.dll"
FORBIDDEN_IMPORTS="_beginthreadex _endthreadex CreateThread SuspendThread ResumeThread GetThreadContext
SetThreadContext CreateSemaphoreA CreateEventA WaitForMultipleObjects TlsAlloc RaiseException
AddVectoredExceptionHandler _Unwind_Resume __cxa_throw"
CB_MAX=49152
MANIFEST_SETTINGS='requestedExecutionLevel level="asInvoker"
supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"
supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"
supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"
supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
>true</dpiAware>
>UTF-8</activeCodePage>'
status=0

fail() {
    echo "FAIL $*"
    status=1
}

if xmllint --noout "$manifest"; then
    echo "$MANIFEST_SETTINGS" | while IFS= read -r setting; do
        grep -qF "$setting" "$manifest" || { echo "FAIL the manifest lacks $setting"; exit 1; }
    done || status=1
else
    fail "$manifest is not well-formed XML"
fi

# A UTF-16 text of the version resource, as Explorer reads it.
has_utf16() {  # has_utf16 FILE TEXT
    python3 -c 'import sys; sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())' "$1" "$2"
}

# The time stamp of the COFF header, which follows the PE signature.
time_stamp() {
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tu4 -j$((pe + 8)) -N4 "$1" | tr -d ' '
}

check() {  # check EXE OBJDUMP MAGIC
    exe=$1 objdump=$2 magic=$3
    if [ ! -f "$exe" ]; then
        fail "$exe: not built"; return
    fi
    headers=$($objdump -p "$exe")
    echo "$headers" | grep -q "^Magic.*$magic" || fail "$exe: not $magic"
    echo "$headers" | grep -q "^Subsystem.*(Windows GUI)" || fail "$exe: not a GUI program"
    dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    for dll in $dlls; do
        case " $SYSTEM_DLLS " in
        *" $dll "*) ;;
        *) fail "$exe imports $dll" ;;
        esac
    done
    # Imported names: "hint name" lines of the import tables.
    names=$(echo "$headers" | awk '/^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[_A-Za-z]/ {print $NF}')
    for name in $FORBIDDEN_IMPORTS; do
        echo "$names" | grep -qxF "$name" && fail "$exe imports $name"
    done
    cb=$(stat -c %s "$exe")
    [ "$cb" -le $CB_MAX ] || fail "$exe is $cb bytes, more than $CB_MAX"
    python3 -c 'import sys; sys.exit(open(sys.argv[2], "rb").read() not in open(sys.argv[1], "rb").read())' \
        "$exe" "$manifest" || fail "$exe does not carry $manifest as it is"
    for text in FileDescription "Hex and Binary conversions" ProductName FileVersion ProductVersion \
        OriginalFilename hexbin.exe; do
        has_utf16 "$exe" "$text" || fail "$exe: the version resource lacks \"$text\""
    done
    stamp=$(time_stamp "$exe")
    [ "$stamp" = 0 ] || fail "$exe: the header carries a build time ($stamp), not 0"
    echo "checked $exe ($magic, $cb bytes, manifest and version): imports" $dlls
}

# Large-address-aware in the header: without the flag, 64-bit Windows gives
# a 32-bit program 2 GiB of address space instead of 4.
check_large_address_aware() {  # check_large_address_aware EXE OBJDUMP
    [ -f "$1" ] || return 0
    $2 -p "$1" | grep -qx "[[:space:]]*large address aware" || fail "$1 is not large-address-aware"
}

check_large_address_aware "$root/build/win32/bin/hexbin.exe" i686-w64-mingw32-objdump
check_large_address_aware "$root/build/win64/bin/hexbin.exe" x86_64-w64-mingw32-objdump
check "$root/build/win32/bin/hexbin.exe" i686-w64-mingw32-objdump 010b
check "$root/build/win64/bin/hexbin.exe" x86_64-w64-mingw32-objdump 020b
exit $status
