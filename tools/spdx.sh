#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
#
# The licence header of every tracked file, the REUSE way: two SPDX lines at the top in the
# file's own comment syntax, or, for a file that cannot hold a comment (images, JSON, the
# Debian changelog and copyright), in a FILE.license beside it.
#
#   tools/spdx.sh --check   list the files without a header; fails if there are any
#   tools/spdx.sh --fix     add the missing headers (and sidecars); a second run changes nothing
#
# After merging a branch that brought new files, `tools/spdx.sh --fix` once covers them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# REUSE-IgnoreStart (the lines this script writes, not a header of its own)
readonly COPYRIGHT="SPDX-FileCopyrightText: 2026 The Ocula authors"
readonly LICENSE_ID="SPDX-License-Identifier: MIT"
# REUSE-IgnoreEnd

# How FILE holds its header: //, # or <!-- (XML, Markdown) comments, .\" (roff), plain lines
# (a .license file), a sidecar .license, or none at all; empty when this script does not know
# the kind of file yet.
style() {
    case $1 in
    LICENSE) echo none ;;
    *.license) echo plain ;;
    *.cpp | *.h | *.h.in) echo // ;;
    *.sh | *.bash | *.py | *.cmake | CMakeLists.txt | */CMakeLists.txt | Makefile | .ci/run | \
        .clang-format | .gitignore | *.desktop | *.txt | *.toml | *.yml | *.yaml) echo '#' ;;
    *.xml | *.qrc | *.svg | *.md) echo '<!--' ;;
    *.[1-8]) echo '.\"' ;;
    *.png | *.gif | *.jpg | *.ico | *.json | */debian/changelog | */debian/copyright) echo sidecar ;;
    *) echo "" ;;
    esac
}

# The header must stand near the top: within the first five lines.
has_header() { head -n 5 -- "$1" | grep -q "$LICENSE_ID"; }

header_lines() {
    local line
    for line in "$COPYRIGHT" "$LICENSE_ID"; do
        case $1 in
        plain) echo "$line" ;;
        '<!--') echo "<!-- $line -->" ;;
        *) echo "$1 $line" ;;
        esac
    done
}

# Puts the header after a first line that must stay first (#!, <?xml, <!DOCTYPE).
add_header() {
    local file=$1 kind=$2 tmp keep=0
    tmp=$(mktemp)
    case $(head -n 1 -- "$file") in
    '#!'* | '<?xml'* | '<!DOCTYPE'*) keep=1 ;;
    esac
    {
        head -n "$keep" -- "$file"
        header_lines "$kind"
        # C++ keeps a blank line between the header and the code.
        [[ $kind == // && -n $(sed -n "$((keep + 1))p" -- "$file") ]] && echo
        tail -n "+$((keep + 1))" -- "$file"
    } >"$tmp"
    # Into the file in place, so that its mode (the executable bit of scripts) stays.
    cat "$tmp" >"$file"
    rm -f "$tmp"
}

mode=${1:-}
[[ $mode == --check || $mode == --fix ]] || {
    echo "usage: tools/spdx.sh --check | --fix" >&2
    exit 2
}

missing=() unknown=() fixed=0
while IFS= read -r -d '' file; do
    [[ -f $file && ! -L $file ]] || continue
    kind=$(style "$file")
    case $kind in
    none) continue ;;
    '') unknown+=("$file") ;;
    sidecar)
        [[ -f $file.license ]] && has_header "$file.license" && continue
        if [[ $mode == --fix ]]; then
            header_lines plain >"$file.license"
            git add -- "$file.license"
            fixed=$((fixed + 1))
        else
            missing+=("$file.license")
        fi
        ;;
    *)
        has_header "$file" && continue
        if [[ $mode == --fix ]]; then
            add_header "$file" "$kind"
            fixed=$((fixed + 1))
        else
            missing+=("$file")
        fi
        ;;
    esac
done < <(git ls-files -z)

if ((${#unknown[@]})); then
    printf 'spdx: no comment style known for %s (teach tools/spdx.sh the kind of file)\n' \
        "${unknown[@]}" >&2
fi
if ((${#missing[@]})); then
    printf 'spdx: no licence header: %s\n' "${missing[@]}" >&2
    echo "spdx: run tools/spdx.sh --fix" >&2
fi
((${#missing[@]} == 0 && ${#unknown[@]} == 0)) || exit 1
if [[ $mode == --fix ]]; then
    echo "spdx: $fixed files given a header"
else
    echo "spdx check: $(git ls-files | wc -l) files licensed"
fi
