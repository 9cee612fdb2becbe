#!/bin/sh
# Fails when any ELF file below the given folders has a search path (RUNPATH
# or RPATH) that the loader could read as a relative folder: an empty element
# (a leading, trailing or doubled ':') is the current folder, and so is any
# element that is neither absolute nor relative to $ORIGIN.
#   runpath_check.sh <folder>...
set -eu

command -v readelf >/dev/null || { echo "SKIPPED: readelf is missing (binutils)"; exit 77; }

checked=0
bad=0
for folder in "$@"; do
    [ -d "$folder" ] || { echo "FAIL: no folder $folder" >&2; exit 1; }
    # Programs and shared objects; object files and archives have no search path.
    for file in $(find "$folder" -type f \( -perm -u+x -o -name '*.so' -o -name '*.so.*' \) | sort); do
        [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
        checked=$((checked + 1))
        problems=$(readelf -d "$file" 2>/dev/null |
            sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\1 \2/p' |
            while read -r kind path; do
                case ":$path:" in
                    *::*) echo "$file: $kind '$path' has an empty element (the current folder)" ;;
                esac
                echo "$path" | tr ':' '\n' | while read -r element; do
                    # shellcheck disable=SC2016
                    case "$element" in
                        '' | /* | '$ORIGIN' | '$ORIGIN/'*) ;;
                        *) echo "$file: $kind '$path' has the relative element '$element'" ;;
                    esac
                done
            done)
        if [ -n "$problems" ]; then
            echo "$problems" >&2
            bad=$((bad + 1))
        fi
    done
done

[ "$checked" -gt 0 ] || { echo "FAIL: no ELF file found in $*" >&2; exit 1; }
if [ "$bad" -gt 0 ]; then
    echo "FAIL: $bad of $checked ELF files search a relative folder" >&2
    exit 1
fi
echo "$checked ELF files, no search path with a relative folder"
