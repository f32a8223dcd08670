#!/usr/bin/env bash
# Installs the build into a scratch root and checks that it lays out like a
# desktop application: programs, manual, desktop entry, AppStream data, icons,
# man pages. Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
fail=0
need() { [ -e "$root/usr/$1" ] || { echo "missing: /usr/$1"; fail=1; }; }
need bin/orbelune
need bin/orbelune-cli
need share/doc/orbelune/Orbelune_Manual.pdf
need share/doc/orbelune/Orbelune_Manual.html
need share/applications/org.halvarn.Orbelune.desktop
need share/metainfo/org.halvarn.Orbelune.metainfo.xml
need share/man/man1/orbelune.1
need share/man/man1/orbelune-cli.1
for size in 16 32 48 64 128 256; do need "share/icons/hicolor/${size}x${size}/apps/org.halvarn.Orbelune.png"; done
desktop-file-validate "$root/usr/share/applications/org.halvarn.Orbelune.desktop" || fail=1
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.halvarn.Orbelune.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net "$root/usr/share/metainfo/org.halvarn.Orbelune.metainfo.xml"; fail=1; }
# The icon the desktop entry names must be installed under that name.
grep -q '^Icon=org.halvarn.Orbelune$' "$root/usr/share/applications/org.halvarn.Orbelune.desktop" || fail=1
for page in orbelune orbelune-cli; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$out" ] || { echo "$page.1: $out"; fail=1; }
done
# The installed program finds its manual in the installed doc folder.
[ "$(realpath -m "$root/usr/bin/../share/doc/orbelune")" = "$root/usr/share/doc/orbelune" ] || fail=1
[ $fail = 0 ] && echo "install layout: ok"
exit $fail
