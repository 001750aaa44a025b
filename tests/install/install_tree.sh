#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a user's
# desktop would see it: the installed files, then a session with the
# installed program. Removes the prefix afterwards.
# Usage: install_tree.sh BUILD_DIR X11_CLOSE VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
closer=$2
version=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
"$here/check_installed_files.sh" "$prefix" "$version"
set +e
"$here/installed_session.sh" "$prefix" "$closer"
rc=$?
set -e
exit "$rc"
