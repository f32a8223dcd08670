#!/usr/bin/env bash
# The include rules of the tree:
#  1. the core (src/session, src/image, src/unwarp, src/export,
#     src/platform/quicktime) includes no Qt header;
#  2. no view of the desktop program includes another view's header. A view is
#     its *_view and its *_wnd files; image_wnd, the windows' base, belongs to
#     none. Should an exception ever be needed, it is listed below; a listed
#     one that is gone fails too, so the list can only shrink.
# Usage: include_rules.sh [SOURCE_ROOT]
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/../.." && pwd)}"
cd "$root"
failed=0

# Rule 1. Qt headers are <QName>, <QtModule/...> or the lower-case <qname.h>.
qt_include='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z0-9_]*(/[^>"]*)?|Qt[A-Za-z0-9_]*/[^>"]*|q[a-z0-9_]*\.h)[>"]'
for dir in src/session src/image src/unwarp src/export src/platform/quicktime; do
    [ -d "$dir" ] || continue
    while IFS= read -r hit; do
        echo "core includes Qt: $hit"
        failed=1
    done < <(grep -rnE --include='*.h' --include='*.cpp' --include='*.hpp' --include='*.cc' \
                  "$qt_include" "$dir" || true)
done

# Rule 2. Known exceptions, "file -> header"; remove a line when its include goes.
exceptions=()
view_of() {
    case "$1" in
        start_view.*) echo start ;;
        round_view.* | round_wnd.*) echo round ;;
        pano_view.* | pano_wnd.*) echo pano ;;
        image_wnd.*) echo base ;;
        *) echo "" ;;
    esac
}
found=()
for file in src/app/*.h src/app/*.cpp; do
    name="$(basename "$file")"
    own="$(view_of "$name")"
    [ -n "$own" ] || continue
    while IFS= read -r header; do
        other="$(view_of "$header")"
        [ -n "$other" ] && [ "$other" != base ] && [ "$other" != "$own" ] || continue
        found+=("$name -> $header")
    done < <(sed -nE 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"app/([^"]+)".*|\1|p' "$file")
done
for edge in "${found[@]+"${found[@]}"}"; do
    listed=0
    for known in ${exceptions[@]+"${exceptions[@]}"}; do [ "$edge" = "$known" ] && listed=1; done
    if [ "$listed" = 0 ]; then
        echo "view includes another view: $edge"
        failed=1
    fi
done
for known in ${exceptions[@]+"${exceptions[@]}"}; do
    present=0
    for edge in "${found[@]+"${found[@]}"}"; do [ "$edge" = "$known" ] && present=1; done
    if [ "$present" = 0 ]; then
        echo "listed exception no longer exists, remove it from $0: $known"
        failed=1
    fi
done

if [ "$failed" = 0 ]; then echo "include rules hold"; fi
exit "$failed"
