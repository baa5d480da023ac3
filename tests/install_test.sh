#!/usr/bin/env bash
# What an installation brings, checked from outside as a packager would.
#   install_test.sh tree BUILD   a DESTDIR install: the tree, validated
#   install_test.sh deb BUILD    cpack's Debian package: contents and dependencies
set -euo pipefail

mode=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

installed_files=(
    usr/bin/sonabel
    usr/bin/sonabel-render
    usr/share/sonabel/GM.MID
    usr/share/sonabel/GS.MID
    usr/share/applications/sonabel.desktop
    usr/share/icons/hicolor/scalable/apps/sonabel.svg
    usr/share/metainfo/org.orvane.Sonabel.metainfo.xml
    usr/share/mime/packages/sonabel.xml
    usr/share/man/man1/sonabel.1
    usr/share/man/man1/sonabel-render.1
)

case $mode in
tree)
    DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
    root=$work/root
    for f in "${installed_files[@]}"; do
        [ -f "$root/$f" ] || fail "$f is not installed"
    done
    [ ! -e "$root/usr/bin/GM.MID" ] || fail "the reset files belong under share/sonabel"

    desktop-file-validate "$root/usr/share/applications/sonabel.desktop" || fail "desktop entry"
    grep -qx 'Exec=sonabel %F' "$root/usr/share/applications/sonabel.desktop" ||
        fail "the desktop entry must run the installed program"
    grep -q '^MimeType=.*audio/midi;' "$root/usr/share/applications/sonabel.desktop" ||
        fail "the desktop entry claims no MIDI files"
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.orvane.Sonabel.metainfo.xml" \
        >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log"; fail "metainfo"; }

    # The MIME package gives albums a type of their own.
    update-mime-database "$root/usr/share/mime" >/dev/null 2>&1 || fail "update-mime-database"
    grep -q '^[0-9]*:audio/x-sonabel-album:\*\.mal$' "$root/usr/share/mime/globs2" ||
        fail "*.mal has no MIME type"

    # The installed programs run from their new place.
    version=$(env -u DISPLAY "$root/usr/bin/sonabel" --version) || fail "sonabel --version"
    [[ $version == "sonabel "* ]] || fail "sonabel --version printed '$version'"
    "$root/usr/bin/sonabel-render" --info "$build/GM.MID" >/dev/null || fail "sonabel-render"
    ;;
deb)
    (cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
        { cat "$work/cpack.log"; fail "cpack"; exit 1; }
    deb=$(ls "$work"/out/sonabel_*_*.deb)
    depends=$(dpkg-deb -f "$deb" Depends)
    # Library dependencies come from the binaries; the rest is named.
    for package in libqt6widgets6 libfluidsynth3 libc6 qt6-qpa-plugins fluid-soundfont-gm; do
        [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
    done
    [ "$(dpkg-deb -f "$deb" Package)" = sonabel ] || fail "package name"
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/contents"
    for f in "${installed_files[@]}"; do
        grep -qx "$f" "$work/contents" || fail "$f is not in the package"
    done
    dpkg-deb -x "$deb" "$work/x"
    file "$work/x/usr/bin/sonabel" | grep -q ', stripped' || fail "sonabel is not stripped"
    ;;
*)
    echo "usage: $0 tree|deb BUILD" >&2
    exit 2
    ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "ok: $mode"
