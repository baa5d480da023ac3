#!/usr/bin/env bash
# What an installation brings, checked from outside as a packager would.
#   install_test.sh tree BUILD CONTACT   a DESTDIR install: the tree, validated
#   install_test.sh deb BUILD CONTACT    cpack's Debian package: contents,
#                                        dependencies, lintian, install and removal
# CONTACT is the project's one contact address.
set -euo pipefail

mode=$1
build=$2
contact=$3
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
    usr/share/man/man1/sonabel.1.gz
    usr/share/man/man1/sonabel-render.1.gz
    usr/share/doc/sonabel/copyright
    usr/share/doc/sonabel/changelog.gz
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

    for page in sonabel sonabel-render; do
        zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q '^\.TH' || fail "$page.1.gz is no manual page"
    done
    # One contact address: the about box (in the program), the metainfo, the
    # copyright file and the changelog.
    # Through a file: grep -q would end the pipe early, and under pipefail the
    # SIGPIPE of strings on a big binary (a sanitizer build) reads as a failure.
    strings -e l "$root/usr/bin/sonabel" >"$work/strings.txt"
    grep -q "$contact" "$work/strings.txt" || fail "the about box lacks the contact $contact"
    for f in usr/share/metainfo/org.orvane.Sonabel.metainfo.xml \
        usr/share/doc/sonabel/copyright; do
        grep -aq "$contact" "$root/$f" || fail "$f lacks the contact $contact"
    done
    zcat "$root/usr/share/doc/sonabel/changelog.gz" | grep -q "<$contact>" ||
        fail "the changelog lacks the contact $contact"

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
    [[ $(dpkg-deb -f "$deb" Maintainer) == *"<$contact>" ]] || fail "Maintainer is not $contact"

    # Debian's own checks: not one error or warning.
    lintian --tag-display-limit 0 --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
        { grep -v 'root privileges' "$work/lintian.log"; fail "lintian"; }

    # Installed into an empty system and removed again: nothing is left but
    # dpkg's own records. (The player keeps nothing outside the user's home.)
    sysroot=$work/sysroot
    mkdir -p "$sysroot/var/lib/dpkg/info" "$sysroot/var/lib/dpkg/updates"
    touch "$sysroot/var/lib/dpkg/status"
    dpkg_root=(dpkg --root="$sysroot" --log=/dev/null --force-depends --force-script-chrootless)
    "${dpkg_root[@]}" -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
    [ -x "$sysroot/usr/bin/sonabel" ] || fail "dpkg -i installed no program"
    "${dpkg_root[@]}" -r sonabel >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
    left=$(cd "$sysroot" && find . -path ./var/lib/dpkg -prune -o ! -type d -print)
    [ -z "$left" ] || fail "left behind after removal: $left"
    ;;
*)
    echo "usage: $0 tree|deb BUILD" >&2
    exit 2
    ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "ok: $mode"
