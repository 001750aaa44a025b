#!/usr/bin/env bash
# Builds the Debian package from a finished build folder and checks it:
# lintian, the validators and manual pages on its unpacked contents, then
# (in CI, as root or with sudo) installs it with apt-get so that a wrong Depends
# fails, runs the installed programs (the command-line tool's send and
# analyze, the desktop program under Xvfb) and purges it again, checking
# that nothing of it is left behind.
# Usage: scripts/package-test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: package-test.sh BUILD_DIR}" && pwd)
fail() { echo "FAIL: $*"; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
closer="$build/bin/x11_close"
[ -x "$closer" ] || fail "$closer is not built"

tmp=$(mktemp -d)
installed=""
sudo=""
cleanup() {
  if [ -n "$installed" ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq orvo-tapmeter >/dev/null 2>&1 || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

echo "== Building the package"
rm -f "$build"/orvo-tapmeter_*.deb
(cd "$build" && cpack -G DEB >"$tmp/cpack.log" 2>&1) || fail "cpack: $(tail -n 20 "$tmp/cpack.log")"
deb=$(ls "$build"/orvo-tapmeter_"$version"_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "cpack made no orvo-tapmeter_${version}_*.deb"
dpkg-deb -f "$deb" Package Version Depends

echo "== Checking its contents"
if command -v lintian >/dev/null; then
  # Any error or warning fails; informational tags are printed only.
  set +e
  lintian --fail-on error,warning --display-info "$deb" >"$tmp/lintian.log" 2>&1
  rc=$?
  set -e
  grep -v 'running with root privileges' "$tmp/lintian.log" || true
  [ "$rc" -eq 0 ] || fail "lintian found errors or warnings"
else
  echo "NOTE: lintian missing; package not linted"
fi
dpkg-deb -x "$deb" "$tmp/unpacked"
"$root/tests/install/check_installed_files.sh" "$tmp/unpacked/usr" "$version"

# Installing touches the whole system: done in CI, or when asked for.
if [ "${CI:-}" != "true" ] && [ "${ORVO_PACKAGE_INSTALL:-}" != "1" ]; then
  echo "SKIP: installing the package only in CI (CI=true) or with ORVO_PACKAGE_INSTALL=1"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  if sudo -n true 2>/dev/null; then
    sudo="sudo"
  else
    echo "SKIP: installing the package needs root or password-less sudo"
    exit 0
  fi
fi

echo "== Installing it"
if dpkg-query -W -f='${Status}' orvo-tapmeter 2>/dev/null | grep -q 'installed'; then
  # Left by a run that was killed before it could clean up.
  echo "NOTE: purging an orvo-tapmeter installed before this test"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq orvo-tapmeter >/dev/null
fi
mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}')
[ "${#files[@]}" -gt 0 ] || fail "the package holds no files"
for f in "${files[@]}"; do
  [ -e "$f" ] && fail "$f exists before the package is installed"
done
installed=yes
# No recommended packages: the test must not depend on what a mirror offers,
# and everything the program needs must be in Depends.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" >"$tmp/apt.log" 2>&1 \
  || fail "apt-get install: $(tail -n 20 "$tmp/apt.log")"

echo "== Running the installed programs"
got=$(/usr/bin/orvo-tapmeter-cli --version | head -n1)
[ "$got" = "orvo-tapmeter-cli $version" ] || fail "installed orvo-tapmeter-cli --version says \"$got\""
got=$(/usr/bin/orvo-tapmeter --version | head -n1)
[ "$got" = "orvo-tapmeter $version" ] || fail "installed orvo-tapmeter --version says \"$got\""
"$root/tests/app/no_display.sh" /usr/bin/orvo-tapmeter || fail "installed orvo-tapmeter without a display"
(cd "$tmp" && /usr/bin/orvo-tapmeter-cli send "paris <ar>" -o "$tmp/paris.wav") || fail "installed send failed"
json=$(cd "$tmp" && /usr/bin/orvo-tapmeter-cli analyze "$tmp/paris.wav") || fail "installed analyze failed"
echo "$json" | grep -q '"text": "paris <ar>' || fail "installed analyze decoded: ${json:0:200}"
echo "send and analyze: paris <ar>"
man -w orvo-tapmeter >/dev/null && man -w orvo-tapmeter-cli >/dev/null || fail "manual pages not found by man"
"$root/tests/install/installed_session.sh" /usr "$closer"

echo "== Removing it"
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq orvo-tapmeter >"$tmp/apt.log" 2>&1 \
  || fail "apt-get purge: $(tail -n 20 "$tmp/apt.log")"
installed=""
dpkg-query -W -f='${Status}' orvo-tapmeter 2>/dev/null | grep -q installed && fail "still registered with dpkg"
for f in "${files[@]}"; do
  [ -e "$f" ] && fail "$f is left behind"
done
for d in /usr/share/orvo-tapmeter /usr/share/doc/orvo-tapmeter; do
  [ -e "$d" ] && fail "$d is left behind"
done
echo "PASS: package $(basename "$deb") built, checked, installed, run and removed"
