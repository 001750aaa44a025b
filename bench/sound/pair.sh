# Sourced by the sound benchmarks that compare this tree with an older
# commit: builds TARGETS of both in Release, the older one with this tree's
# bench/sound sources so both are measured the same way. Sets now_bin and
# base_bin. Needs root, build, TARGETS; BASE names the older commit
# (default: the last commit whose sound output ran on Qt Multimedia).
base=${BASE:-8a6c3a9}
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
log="$build.log"
: >"$log"
pair_build() {  # SOURCE BUILD
  # shellcheck disable=SC2086
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_TESTS=OFF $launcher >>"$log" 2>&1 &&
    cmake --build "$2" -j2 --target $TARGETS >>"$log" 2>&1
}
base_src="$build/base-src"
if [ "$(cat "$base_src/.commit" 2>/dev/null)" != "$base" ]; then
  rm -rf "$base_src"
  mkdir -p "$base_src"
  git -C "$root" archive "$base" | tar -x -C "$base_src"
  echo "$base" >"$base_src/.commit"
fi
cp "$root"/bench/sound/* "$base_src/bench/sound/"
if ! pair_build "$root" "$build/now" || ! pair_build "$base_src" "$build/base"; then
  cat "$log" >&2
  exit 1
fi
now_bin="$build/now/bin"
base_bin="$build/base/bin"
echo "this tree: $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- src || echo ' (modified)'); older: $base"
