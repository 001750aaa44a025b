#!/usr/bin/env bash
# Checks an installed tree (an install prefix, or a Debian package unpacked
# to a folder) for what a desktop needs: both programs answering --version
# with the project version and the licence, and --help, the desktop entry,
# the icons, the software-centre entry and the manual pages, each passing
# its validator.
# Usage: check_installed_files.sh PREFIX VERSION
set -euo pipefail
prefix=$1
version=$2
fail() { echo "FAIL: $*"; exit 1; }
metainfo="$prefix/share/metainfo/invalid.orvo_tapmeter.tapmeter.metainfo.xml"
desktop="$prefix/share/applications/orvo-tapmeter.desktop"

for f in bin/orvo-tapmeter bin/orvo-tapmeter-cli; do
  [ -x "$prefix/$f" ] || fail "$f is missing"
done
for f in share/icons/hicolor/scalable/apps/orvo-tapmeter.svg \
         share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/orvo-tapmeter.png \
         share/doc/orvo-tapmeter/copyright share/doc/orvo-tapmeter/changelog.gz \
         share/man/man1/orvo-tapmeter.1.gz share/man/man1/orvo-tapmeter-cli.1.gz; do
  [ -s "$prefix/$f" ] || fail "$f is missing"
done

for p in orvo-tapmeter orvo-tapmeter-cli; do
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/$p" --version) || fail "$p --version failed"
  [ "$(head -n1 <<<"$got")" = "$p $version" ] || fail "$p --version says \"$got\", not \"$p $version\""
  grep -q "^License GPLv3+: GNU GPL version 3 or later" <<<"$got" || fail "$p --version states no licence: $got"
  env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/$p" --help | grep -q "^Usage: $p" || fail "$p --help shows no usage"
done

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop entry: $out"
  [ -z "$out" ] || echo "desktop-file-validate: $out"
else
  echo "NOTE: desktop-file-validate (desktop-file-utils) missing; desktop entry not validated"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "software-centre entry does not validate"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "software-centre entry lacks release $version"
else
  echo "NOTE: appstreamcli (appstream) missing; software-centre entry not validated"
fi

# The tool paints a PNG plot through its module, found beside the program
# wherever the tree was installed, without a display.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf '0 down\n100 up\n200 down\n500 up\n' >"$scratch/a.keys"
env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/orvo-tapmeter-cli" report "$scratch/a.keys" --plot "$scratch/a.png" \
  >/dev/null || fail "report --plot a.png failed"
[ "$(head -c 4 "$scratch/a.png" | tail -c 3)" = "PNG" ] || fail "report --plot wrote no PNG"

# Manual pages render without a single groff warning.
for page in "$prefix"/share/man/man1/orvo-tapmeter*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) \
    || fail "man -l $page failed: $warnings"
  [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" | grep -q "Orvo Tapmeter $version" \
    || fail "$page does not carry version $version"
done
echo "PASS: installed files in $prefix"
