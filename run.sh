#!/usr/bin/env bash
# Builds Corvina in release mode (installing what it needs on first use),
# creates the demo system database when there is none, and starts Corvina.
# Arguments go to corvina unchanged.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# Relative paths in the compiler cache let another checkout reuse its objects.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}" CCACHE_NOHASHDIR=1
"$here/scripts/install-deps.sh" run
cmake -S "$here" -B "$here/build/release" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build/release" -j"$(nproc)" --target corvina template
bin="$here/build/release/corvina"
if [ ! -f "$here/build/release/demo/system.db" ]; then
  "$bin" init-demo
fi
exec "$bin" "$@"
