#!/usr/bin/env bash
# clang-format over every source; clang-tidy over the core and both front ends, each with the
# compile commands of the build that compiles it (configured here if it is not yet).
#
#   lint.sh [CORE_BUILD [RELEASE_BUILD [MINGW_BUILD]]]   default build/debug build/release build/mingw
set -euo pipefail
cd "$(dirname "$0")/.."
core_build=${1:-build/debug}
release_build=${2:-build/release}
mingw_build=${3:-build/mingw}

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run -Werror "${sources[@]}"

commands() {  # the build's compile commands, configuring its preset if they are missing
  [ -f "$1/compile_commands.json" ] || cmake --preset "$2" >/dev/null
  echo "$1"
}
status=0  # every group is checked, whichever fails first
tidy() { clang-tidy --quiet "$@" 2> >(grep -v "warnings generated" >&2) || status=1; }

# :(glob) keeps "*" inside one folder; a plain pathspec would also match src/platform/linux/.
mapfile -t core < <(git ls-files ':(glob)src/app/*.cpp' ':(glob)src/clicker/*.cpp' ':(glob)src/hotkeys/*.cpp' \
  ':(glob)src/platform/*.cpp')
tidy -p "$(commands "$core_build" debug)" "${core[@]}"

# The Linux program, against the Qt and Xlib headers the release build uses.
mapfile -t linux < <(git ls-files ':(glob)src/platform/linux/*.cpp' ':(glob)src/platform/linux/x11/*.cpp' \
  ':(glob)src/platform/linux/wayland/*.cpp')
tidy -p "$(commands "$release_build" release)" "${linux[@]}"

# Morvane.exe, against the MinGW headers. clang does not find the C++ library of Debian's
# posix-threads MinGW g++ by itself, so that compiler's own search list is handed over, less its
# compiler-specific include and include-fixed folders (clang brings its own intrinsics).
mingw_cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++)
mingw_args=(--extra-arg=--target=x86_64-w64-mingw32)
while read -r dir; do
  mingw_args+=("--extra-arg=-isystem$(realpath "$dir")")
done < <("$mingw_cxx" -xc++ -E -v - </dev/null 2>&1 |
  sed -n '/#include <...> search starts here/,/End of search list/p' | grep '^ /' |
  grep -Ev '/lib/gcc/[^/]+/[^/]+/include(-fixed)?$')
mapfile -t windows < <(git ls-files ':(glob)src/platform/win32/*.cpp')
tidy -p "$(commands "$mingw_build" mingw)" "${mingw_args[@]}" "${windows[@]}"
[ "$status" -eq 0 ] && echo "lint: clean"
exit "$status"
