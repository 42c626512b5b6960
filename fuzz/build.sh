#!/usr/bin/env bash
# Builds the libFuzzer targets (not part of the normal build: needs clang).
# Usage: fuzz/build.sh [build folder]
#   <build>/jet_reader_fuzz      Access files: the reader and the working copy
#                                builder, both in one process
#   <build>/exchange_check_fuzz  SQLite-format exchange files opened for an import
# Run: <build>/jet_reader_fuzz -max_total_time=600 <corpus> <seeds...>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$here/../src"
out="${1:-$here/../build/fuzz}"
mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$src" $(pkg-config --cflags Qt6Core Qt6Sql Qt6Xml libmdb sqlite3))
libs=($(pkg-config --libs Qt6Core Qt6Sql Qt6Xml libmdb sqlite3))
# Opening an exchange file touches the data layer (less what shows dialogs
# or fills demo databases); objects are kept, so a rebuild compiles only
# what changed.
mkdir -p "$out/obj"
objects=()
for file in $(ls "$src"/data/*.cpp "$src"/data/jet/*.cpp "$src"/core/AppPaths.cpp "$src"/core/AnsiCode.cpp "$src"/resources/*.cpp |
              grep -v -e JetReader.cpp -e DemoData.cpp -e SysOdbcIniSettings.cpp); do
  object="$out/obj/$(basename "$file" .cpp).o"
  if [ ! -f "$object" ] || [ "$file" -nt "$object" ]; then clang++ "${flags[@]}" -c "$file" -o "$object"; fi
  objects+=("$object")
done
clang++ "${flags[@]}" "$here/ExchangeCheckFuzz.cpp" "${objects[@]}" "${libs[@]}" -o "$out/exchange_check_fuzz" &
# The mirror builder finds the reader program beside the running one; this
# target runs the reader half in-process, with the row checks and the
# working copy's row writer it feeds.
clang++ "${flags[@]}" "$here/JetReaderFuzz.cpp" "$src/data/jet/JetReader.cpp" "${objects[@]}" "${libs[@]}" \
  -o "$out/jet_reader_fuzz"
wait
echo "$out/jet_reader_fuzz"
echo "$out/exchange_check_fuzz"
