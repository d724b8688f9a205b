#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The Debian package, built with CPack from this build and unpacked into a scratch root:
# lintian finds no error and no warning in it, its control data lists the shared libraries
# it needs, it holds exactly the files the desktop and Debian look for (binary, man page,
# desktop entry, metainfo, hicolor icons, changelog, copyright), they pass their validators
# and name this version, and the program starts from the desktop entry with the 16 and 32
# pixel icons on its window.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=package
ID=io.github.tarnwick.Ocula

missing=()
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog desktop-file-validate appstreamcli \
    lintian groff man; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
    echo "$TEST_NAME: SKIPPED: the packaging tools are missing: ${missing[*]} (make deps installs them)"
    exit 0
fi

e2e_init
: "${OCULA_BUILD_DIR:?OCULA_BUILD_DIR must name the build directory}"

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$OCULA_BUILD_DIR/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
[[ -n $version ]] || fail "no project version in $OCULA_BUILD_DIR/CMakeCache.txt"

# The package is built beside the test, so the build directory is left as it was.
cpack -G DEB -B "$E2E_TMP/pkg" --config "$OCULA_BUILD_DIR/CPackConfig.cmake" \
    >"$E2E_TMP/cpack.log" 2>&1 || {
    cat "$E2E_TMP/cpack.log"
    fail "cpack could not build the package"
}
debs=("$E2E_TMP"/pkg/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}

# Debian's own judgement. Info and pedantic tags are advice; errors and warnings fail.
lintian --info --display-info --pedantic --fail-on error,warning "$deb" >"$E2E_TMP/lintian.log" 2>&1 || {
    cat "$E2E_TMP/lintian.log"
    fail "lintian finds errors or warnings in the package"
}

# Control data.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == ocula ]] || fail "the package is called \"$(field Package)\", expected ocula"
[[ $(field Version) == "$version" ]] ||
    fail "the package has version \"$(field Version)\", the project $version"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] ||
    fail "the package is for \"$(field Architecture)\""
info=$(dpkg-deb -I "$deb") || fail "dpkg-deb cannot read the package"
grep -q '^ Depends: ' <<<"$info" || fail "the package has no Depends field"
depends=$(field Depends)
needed=(libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6)
[[ $(cache_value OCULA_WITH_X11) == ON ]] && needed+=(libxcb1 libxcb-shm0)
# Package names only: versions and alternatives dropped.
names=$(sed 's/([^)]*)//g; s/[,|]/\n/g; s/ //g' <<<"$depends")
for lib in "${needed[@]}"; do
    grep -qxF "$lib" <<<"$names" || fail "Depends does not name $lib: $depends"
done

# Files: exactly these, at the paths the desktop reads.
root=$E2E_TMP/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb could not unpack the package"
expected=(
    usr/bin/ocula
    usr/share/doc/ocula/changelog.gz
    usr/share/doc/ocula/copyright
    usr/share/man/man1/ocula.1.gz
    "usr/share/applications/$ID.desktop"
    "usr/share/icons/hicolor/16x16/apps/$ID.png"
    "usr/share/icons/hicolor/32x32/apps/$ID.png"
    "usr/share/icons/hicolor/48x48/apps/$ID.png"
    "usr/share/icons/hicolor/scalable/apps/$ID.svg"
    "usr/share/metainfo/$ID.metainfo.xml"
)
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
[[ $actual == "$wanted" ]] || fail "the package holds
$actual
expected
$wanted"
[[ -x $root/usr/bin/ocula ]] || fail "usr/bin/ocula is not executable"
[[ $("$root/usr/bin/ocula" --version) == "Ocula $version" ]] ||
    fail "the installed ocula --version says \"$("$root/usr/bin/ocula" --version)\""

# The man page and the changelog as man and dpkg read them, each naming this version.
manpage=$root/usr/share/man/man1/ocula.1.gz
zcat "$manpage" | groff -man -ww -z 2>"$E2E_TMP/groff.log" && [[ ! -s $E2E_TMP/groff.log ]] || {
    cat "$E2E_TMP/groff.log"
    fail "groff complains about the man page"
}
MANWIDTH=80 man --warnings -l "$manpage" 2>"$E2E_TMP/man.log" >"$E2E_TMP/man.txt" &&
    [[ ! -s $E2E_TMP/man.log ]] || {
    cat "$E2E_TMP/man.log"
    fail "man complains about the man page"
}
grep -q "^Ocula $version " "$E2E_TMP/man.txt" || fail "the man page's footer does not name Ocula $version"
grep -q "^KEYS AND MOUSE" "$E2E_TMP/man.txt" || fail "the man page lists no keys"
zcat "$root/usr/share/doc/ocula/changelog.gz" >"$E2E_TMP/changelog"
[[ $(dpkg-parsechangelog -l "$E2E_TMP/changelog" -S Version) == "$version" ]] ||
    fail "the changelog's latest entry is not for $version"

# The desktop entry and the metainfo, as the desktop's tools see them.
desktop=$root/usr/share/applications/$ID.desktop
desktop-file-validate "$desktop" >"$E2E_TMP/dfv.log" 2>&1 || {
    cat "$E2E_TMP/dfv.log"
    fail "desktop-file-validate rejects the desktop entry"
}
grep -E ': (error|warning):' "$E2E_TMP/dfv.log" && fail "desktop-file-validate complains"
entry() { sed -n "/^$1=/{s/^$1=//p;q;}" "$desktop"; }
[[ $(entry Type) == Application ]] || fail "the desktop entry is not an application"
[[ $(entry Icon) == "$ID" ]] || fail "the desktop entry names icon \"$(entry Icon)\""
metainfo=$root/usr/share/metainfo/$ID.metainfo.xml
appstreamcli validate --pedantic --no-net "$metainfo" >"$E2E_TMP/as.log" 2>&1 || {
    cat "$E2E_TMP/as.log"
    fail "appstreamcli rejects the metainfo"
}
# Not even a pedantic hint, but for the capital letter of the id, which names the desktop
# entry and the icons as well.
grep -E '^[EWIP]: ' "$E2E_TMP/as.log" | grep -v ' cid-contains-uppercase-letter ' &&
    fail "appstreamcli validate --pedantic has more to say"
release=$(python3 -c 'import sys, xml.etree.ElementTree as ET
print(ET.parse(sys.argv[1]).find("releases/release").get("version"))' "$metainfo")
[[ $release == "$version" ]] || fail "the metainfo's newest release is $release, not $version"
grep -q "<id>$ID</id>" "$metainfo" || fail "the metainfo's id is not $ID"
grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $ID.desktop"

# Icons: each PNG at its size, in 24-bit colour; the SVG a drawing.
for size in 16 32 48; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/$ID.png
    python3 - "$png" "$size" <<'EOF' || fail "$png is not a ${size}x$size 24-bit PNG"
import struct, sys
data = open(sys.argv[1], "rb").read()
size = int(sys.argv[2])
assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
assert (width, height) == (size, size), (width, height)
assert depth == 8 and colour in (2, 6), (depth, colour)
EOF
done
python3 - "$root/usr/share/icons/hicolor/scalable/apps/$ID.svg" <<'EOF' ||
import sys, xml.etree.ElementTree as ET
assert ET.parse(sys.argv[1]).getroot().tag == "{http://www.w3.org/2000/svg}svg"
EOF
    fail "the scalable icon is not an SVG drawing"

# Started as the desktop starts it: the Exec line (less field codes) on a PATH that
# finds the unpacked program.
exec_line=$(entry Exec)
read -r -a command <<<"${exec_line//%[a-zA-Z]/}"
[[ ${#command[@]} -eq 1 ]] || fail "Exec passes arguments: $exec_line"
OCULA_BIN=$(PATH=$root/usr/bin command -v "${command[0]}") ||
    fail "the desktop entry runs \"${command[0]}\", which the package does not install"
[[ $OCULA_BIN == "$root/usr/bin/ocula" ]] || fail "Exec finds $OCULA_BIN, not usr/bin/ocula"
xvfb_start 800 600 24 || fail "Xvfb did not start"
app_start
wm_class=$(xprop -id "$APP_WIN" WM_CLASS)
grep -q "\"$(entry StartupWMClass)\"" <<<"$wm_class" ||
    fail "the window's $wm_class does not match StartupWMClass=$(entry StartupWMClass)"

# The window's icon carries the 16 and 32 pixel images as they are, fully opaque.
xprop -id "$APP_WIN" -notype -f _NET_WM_ICON 32c '=$0+\n' _NET_WM_ICON >"$E2E_TMP/icon.txt"
for size in 16 32; do
    convert "$root/usr/share/icons/hicolor/${size}x$size/apps/$ID.png" -depth 8 \
        "rgb:$E2E_TMP/icon$size.rgb" || fail "could not read the ${size}-pixel icon"
done
python3 - "$E2E_TMP/icon.txt" "$E2E_TMP/icon16.rgb" "$E2E_TMP/icon32.rgb" <<'EOF' ||
import sys
text = open(sys.argv[1]).read()
values = [int(v) for v in text.split("=", 1)[1].split(",")]
images = {}
while values:
    w, h = values[0], values[1]
    images[(w, h)] = values[2 : 2 + w * h]
    values = values[2 + w * h :]
for path, size in ((sys.argv[2], 16), (sys.argv[3], 32)):
    assert (size, size) in images, f"no {size}x{size} window icon among {sorted(images)}"
    rgb = open(path, "rb").read()
    want = [0xFF000000 | rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2] for i in range(0, len(rgb), 3)]
    assert images[(size, size)] == want, f"the {size}x{size} window icon is not the checked-in image"
EOF
    fail "the window does not carry the 16 and 32 pixel icons"

echo "$TEST_NAME: ok ($(basename "$deb"))"
