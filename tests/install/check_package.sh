#!/usr/bin/env bash
# Checks the Debian package of a release build: its dependencies name Debian's
# packages for the libraries we use, and it unpacks into a working program.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
deb=$(ls "$1"/orbelune_*.deb | head -n 1)
info=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $info"
fail=0
for lib in libqt6widgets6 libjpeg62-turbo libpng16-16 libtiff6 qt6-qpa-plugins fonts-urw-base35; do
  grep -q "$lib" <<<"$info" || { echo "missing dependency: $lib"; fail=1; }
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/orbelune usr/bin/orbelune-cli usr/share/applications/org.halvarn.Orbelune.desktop \
         usr/share/doc/orbelune/Orbelune_Manual.pdf usr/share/man/man1/orbelune-cli.1.gz; do
  [ -e "$root/$f" ] || [ -e "$root/${f%.gz}" ] || { echo "not in the package: /$f"; fail=1; }
done
"$root/usr/bin/orbelune-cli" --help >/dev/null || { echo "the packaged orbelune-cli does not run"; fail=1; }
if command -v lintian >/dev/null; then
  # Informational: a package built by CPack lacks a Debian changelog and copyright file.
  lintian --no-tag-display-limit "$deb" || true
fi
[ $fail = 0 ] && echo "package: ok"
exit $fail
