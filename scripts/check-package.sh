#!/usr/bin/env bash
# Checks a built Debian package with Debian's own tools: lintian reports no
# error, the desktop entry and the AppStream metainfo validate, Depends was
# computed, and unpacked into a root of its own (dpkg -x) it holds exactly
# the expected files, the command leading to the program.
#
#   scripts/check-package.sh BUILD_DIR NAME_VERSION EXPECTED_FILE_LIST
# Exits 77 (skipped) when the package was not built or a tool is missing.
set -euo pipefail
build=$1 stem=$2 expected=$3
shopt -s nullglob
debs=("$build/${stem}"_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "skipped: no single ${stem}_*.deb in $build (cmake --build build --target package)"
  exit 77
fi
deb=${debs[0]}
for tool in lintian appstreamcli desktop-file-validate dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing (scripts/setup.sh)"; exit 77; }
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

echo "== lintian"
# A development build's domain is the reserved placeholder (.example), which
# lintian rightly calls bogus; a release build names its own domain.
suppress=()
if dpkg-deb --field "$deb" Maintainer | grep -q '\.example>$'; then
  suppress=(--suppress-tags bogus-mail-host,bogus-mail-host-in-debian-changelog)
fi
lintian --fail-on error --allow-root --tag-display-limit 0 "${suppress[@]}" "$deb"
echo "== desktop-file-validate"
desktop-file-validate "$root"/usr/share/applications/*.desktop
echo "== appstreamcli validate"
appstreamcli validate --no-net --explain "$root"/usr/share/metainfo/*.metainfo.xml
echo "== Depends"
depends=$(dpkg-deb --field "$deb" Depends)
echo "$depends"
grep -q 'libqt5webenginewidgets5' <<<"$depends" || { echo "Depends lacks the engine's libraries"; exit 1; }
echo "== files"
(cd "$root" && find . ! -type d | sed 's|^\.||' | LC_ALL=C sort) | diff -u "$expected" -
[ "$(readlink -f "$root/usr/bin/tidewell")" = "$root/usr/lib/tidewell/Tidewell-app.exe" ] ||
  { echo "/usr/bin/tidewell does not lead to the program"; exit 1; }
echo "package checked: $deb"
