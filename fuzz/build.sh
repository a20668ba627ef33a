#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, ASan and UBSan, straight from the sources
# (outside the CMake build). Usage: fuzz/build.sh [out_dir]   (default: fuzz/out)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
out="${1:-$here/out}"
obj="$out/obj"
mkdir -p "$obj" "$out/generated"

CXX="${CXX:-clang++}"
JOBS="${JOBS:-2}"
SAN="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
FLAGS="-std=c++20 -g -O1 $SAN -DTIXML_USE_STL -I$root/src -I$out/generated -I$root/tools/devsim"
LIBS="-lcrypto -ltinyxml -lsimpleini -lpcap -lpthread"

sed -e 's/@PROJECT_VERSION_MAJOR@/0/' -e 's/@PROJECT_VERSION_MINOR@/0/' \
    -e 's/@PROJECT_VERSION_PATCH@/0/' -e 's/@PROJECT_VERSION_TWEAK@/0/' \
    "$root/src/version.h.in" > "$out/generated/version.h"

# The library sources, instrumented for coverage (compiled once, in parallel, only when changed).
sources=()
for dir in shell platform webserver protocol transport core/*/; do
  sources+=("$root"/src/${dir%/}/*.cpp)
done
sources+=("$root"/tools/devsim/sim_*.cpp "$root"/src/cli/capture_decoder.cpp)
objects=()
stale=()
for src in "${sources[@]}"; do
  o="$obj/$(echo "${src#$root/}" | tr '/' '_').o"
  objects+=("$o")
  # Rebuilt when the source or any header of the tree is newer than the object.
  if [[ ! -f "$o" || -n "$(find "$src" "$root/src" "$root/tools/devsim" -name '*.h' -newer "$o" -print -quit; find "$src" -newer "$o")" ]]; then
    stale+=("$src")
  fi
done
if ((${#stale[@]})); then
  printf '%s\n' "${stale[@]}" | xargs -P "$JOBS" -I{} sh -c \
    'src="{}"; o="'"$obj"'/$(echo "${src#'"$root"'/}" | tr / _).o"; '"$CXX $FLAGS"' -fsanitize=fuzzer-no-link -c "$src" -o "$o"'
fi

for t in "$here"/*_fuzz.cpp; do
  name="$(basename "$t" .cpp)"
  echo "linking $name"
  $CXX $FLAGS -fsanitize=fuzzer "$t" "${objects[@]}" $LIBS -o "$out/$name"
done

echo "linking make_seeds"
$CXX $FLAGS -fsanitize=fuzzer-no-link "$here/make_seeds.cpp" "${objects[@]}" $LIBS -o "$out/make_seeds"
