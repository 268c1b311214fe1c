#!/bin/sh
# check-exe.sh: the two shipped executables are of the right kind (PE32 and
# PE32+, GUI subsystem) and import nothing but system DLLs, so they run on a
# bare Windows with no toolchain DLL beside them.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
SYSTEM_DLLS="kernel32.dll user32.dll comdlg32.dll msvcrt.dll"
status=0

check() {  # check EXE OBJDUMP MAGIC
    exe=$1 objdump=$2 magic=$3
    if [ ! -f "$exe" ]; then
        echo "FAIL $exe: not built"; status=1; return
    fi
    headers=$($objdump -p "$exe")
    echo "$headers" | grep -q "^Magic.*$magic" || { echo "FAIL $exe: not $magic"; status=1; }
    echo "$headers" | grep -q "^Subsystem.*(Windows GUI)" || { echo "FAIL $exe: not a GUI program"; status=1; }
    dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    for dll in $dlls; do
        case " $SYSTEM_DLLS " in
        *" $dll "*) ;;
        *) echo "FAIL $exe imports $dll"; status=1 ;;
        esac
    done
    echo "checked $exe ($magic): imports" $dlls
}

check "$root/build/win32/bin/hexbin.exe" i686-w64-mingw32-objdump 010b
check "$root/build/win64/bin/hexbin.exe" x86_64-w64-mingw32-objdump 020b
exit $status
