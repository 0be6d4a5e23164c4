#!/bin/sh
# Installs a built tree into a temporary prefix and checks what lands there:
#   check_install.sh BUILD_DIR VERSION tree      the files, versions, icons, help
#   check_install.sh BUILD_DIR VERSION validate  desktop-file-validate and
#                                                appstreamcli (exit 77: skipped)
set -eu
build=$1 version=$2 mode=$3
app=example.norvik.Norvik
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$mode" = validate ]; then
    missing=""
    command -v desktop-file-validate >/dev/null || missing="$missing desktop-file-validate (desktop-file-utils)"
    command -v appstreamcli >/dev/null || missing="$missing appstreamcli (appstream)"
    if [ -n "$missing" ]; then
        echo "skipped: not installed:$missing"
        exit 77
    fi
fi

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

if [ "$mode" = validate ]; then
    desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "desktop entry"
    appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" || fail "metainfo"
    exit 0
fi

# Exactly these files, nothing else (no tests, libraries or build leftovers).
pages=$(cd "$build/src" && ls help*.html)
expected=$( {
    echo bin/norvik; echo bin/norvik-cli
    for p in $pages; do echo "share/norvik/$p"; done
    echo "share/applications/$app.desktop"; echo "share/metainfo/$app.metainfo.xml"
    echo share/icons/hicolor/scalable/apps/norvik.svg
    for s in 16 22 24 32 48 64 128 256; do echo "share/icons/hicolor/${s}x$s/apps/norvik.png"; done
    echo share/man/man1/norvik.1.gz; echo share/man/man1/norvik-cli.1.gz
    echo share/doc/norvik/copyright; echo share/doc/norvik/changelog.gz
} | sort)
actual=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
$(printf '%s\n' "$expected" > "$prefix/.e"; printf '%s\n' "$actual" | diff "$prefix/.e" - || true)"

# One version everywhere.
[ "$("$prefix/bin/norvik" --version)" = "norvik $version" ] || fail "norvik --version"
[ "$("$prefix/bin/norvik-cli" --version)" = "norvik-cli $version" ] || fail "norvik-cli --version"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$app.metainfo.xml" ||
    fail "metainfo release"
for m in norvik norvik-cli; do
    gzip -t "$prefix/share/man/man1/$m.1.gz" || fail "$m.1.gz"
    gzip -dc "$prefix/share/man/man1/$m.1.gz" | head -1 | grep -q "\"Norvik $version\"" ||
        fail "$m.1 version"
done

# The help: every page the contents link to, beside the program in the build
# tree and in the data folder next to the installed bin/.
[ -s "$build/src/help.html" ] || fail "help.html is not beside the built program"
for target in $(grep -o 'href="[^"]*"' "$prefix/share/norvik/help.html" | sed 's/href="//; s/"$//'); do
    [ -s "$prefix/bin/../share/norvik/$target" ] || fail "help.html links to missing $target"
done

# The desktop entry starts the installed program with the installed icon,
# and each bitmap icon has the size its folder names.
grep -qx "Exec=norvik" "$prefix/share/applications/$app.desktop" || fail "Exec"
grep -qx "Icon=norvik" "$prefix/share/applications/$app.desktop" || fail "Icon"
for s in 16 22 24 32 48 64 128 256; do
    dims=$(od -An -tu1 -j16 -N8 "$prefix/share/icons/hicolor/${s}x$s/apps/norvik.png" | tr -s ' ')
    side="0 0 $((s / 256)) $((s % 256))"
    [ "$dims" = " $side $side" ] || fail "icon ${s}x$s is $dims"
done
echo "install tree OK"
