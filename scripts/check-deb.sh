#!/usr/bin/env bash
# Checks the Debian package cpack made: its control data, that it holds what an
# installed Corvina needs, and that the installed programs start with a
# program folder of the user's own. usage: check-deb.sh PACKAGE.deb
set -euo pipefail
deb="$1"
fail() { echo "check-deb: $deb: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "no such package"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = corvina ] || fail "Package is not corvina"
[ -n "$(field Version)" ] || fail "no Version"
depends="$(field Depends)"
# Qt 6, libmdb and unixODBC, and the Qt plugins loaded at run time.
for needed in libqt6core6 libqt6widgets6 libqt6sql6 libqt6sql6-sqlite libqt6sql6-odbc libqt6svg6 \
              qt6-translations-l10n libmdb3 libodbcinst2; do
  grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q "odbc-postgresql" <<<"$(field Recommends)" || fail "Recommends lacks the ODBC drivers"

listing="$(dpkg-deb -c "$deb")"
has() {  # has MODE-PATTERN PATH
  grep -Eq "^$1 .* \./${2#/}\$" <<<"$listing" || fail "lacks $2 (mode $1)"
}
for program in /usr/lib/corvina/corvina /usr/lib/corvina/corvina-cli /usr/bin/corvina /usr/bin/corvina-cli; do
  has '-rwxr-xr-x' "$program"
done
has '-rw-r--r--' /usr/lib/corvina/Template.mdb
has '-rw-r--r--' /usr/share/applications/corvina.desktop
has '-rw-r--r--' /usr/share/icons/hicolor/scalable/apps/corvina.svg
for doc in /usr/share/doc/corvina/copyright /usr/share/doc/corvina/changelog.gz /usr/share/man/man1/corvina.1.gz \
           /usr/share/man/man1/corvina-cli.1.gz /usr/share/bash-completion/completions/corvina-cli; do
  has '-rw-r--r--' "$doc"
done

# Unpacked, the wrapper runs the program with a program folder under the
# user's home, holding a copy of the template; nothing is written beside it.
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
home="$root/home"
mkdir -p "$home"
chmod -R a-w "$root/usr"
version="$(env -u CORVINA_HOME HOME="$home" XDG_DATA_HOME= "$root/usr/bin/corvina-cli" --version)"
[ "$version" = "Corvina $(field Version)" ] || fail "corvina-cli --version printed: $version"
cmp -s "$root/usr/lib/corvina/Template.mdb" "$home/.local/share/corvina/Template.mdb" ||
  fail "the template was not copied into the user's program folder"
env -u CORVINA_HOME HOME="$home" XDG_DATA_HOME= "$root/usr/bin/corvina-cli" init-demo --problems 0 >/dev/null ||
  fail "init-demo failed in the user's program folder"
[ -f "$home/.local/share/corvina/demo/system.db" ] && [ -f "$home/.local/share/corvina/odbc.ini" ] ||
  fail "init-demo did not write into the user's program folder"
for stray in odbc.ini ErrorLog.TXT demo; do
  [ ! -e "$root/usr/lib/corvina/$stray" ] || fail "$stray was written into the installed program folder"
done
chmod -R u+w "$root/usr"
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$root/usr/share/applications/corvina.desktop" || fail "invalid desktop entry"
fi
# As Debian sees it: any error or warning fails the check.
command -v lintian >/dev/null 2>&1 || fail "lintian is not installed (scripts/install-deps.sh test)"
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
echo "check-deb: $deb is complete"
