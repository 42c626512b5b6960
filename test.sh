#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test through ctest.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# Relative paths in the compiler cache let another checkout reuse its objects.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}" CCACHE_NOHASHDIR=1
"$here/scripts/install-deps.sh" test
build="$here/build/test"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
# The pg.* tests run every test again against a private PostgreSQL server,
# started here and stopped however the run ends.
pgdir="$build/pg-server"
trap '"$here/scripts/pg-test-server.sh" stop "$pgdir"' EXIT
if "$here/scripts/pg-test-server.sh" start "$pgdir"; then
  set -a
  . "$pgdir/env"
  set +a
else
  echo "*** The PostgreSQL test server could not be started: the pg.* tests are SKIPPED. ***" >&2
fi
cd "$build"
status=0
ctest --output-on-failure -j"$(nproc)" "$@" || status=$?
# The Debian package an administrator installs: built, then checked, whatever
# the tests said; a package that lacks something fails the run.
rm -f corvina_*.deb
cpack -G DEB >/dev/null
"$here/scripts/check-deb.sh" "$build"/corvina_*.deb
exit "$status"
