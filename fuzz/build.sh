#!/usr/bin/env bash
# Builds the libFuzzer targets for the Access file reader (not part of the
# normal build: needs clang). Usage: fuzz/build.sh [build folder]
# Run: <build>/jet_reader_fuzz -max_total_time=600 <corpus> <seeds...>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$here/../src"
out="${1:-$here/../build/fuzz}"
mkdir -p "$out/generated"
flags=(-std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$src" $(pkg-config --cflags Qt6Core Qt6Sql libmdb))
libs=($(pkg-config --libs Qt6Core Qt6Sql libmdb))
# The mirror builder finds the reader program beside the running one; the
# fuzz target runs the reader half in-process, so only AppPaths comes along.
clang++ "${flags[@]}" "$here/JetReaderFuzz.cpp" "$src/data/jet/JetReader.cpp" "$src/data/jet/JetMirror.cpp" \
  "$src/core/AppPaths.cpp" "$src/resources/Strings.cpp" "${libs[@]}" -o "$out/jet_reader_fuzz"
echo "$out/jet_reader_fuzz"
