#!/usr/bin/env bash
# Checks of the Debian package built in a Release build folder (scripts/package.sh), without
# installing it: lintian, the menu entry, the AppStream metadata, the manual page, the file list
# against the promised one and against `cmake --install`, and the computed dependencies.
#
# usage: package_checks.sh <package build folder> <source folder> <case>
# Exit code 77 (skipped) when no package was built.
set -uo pipefail

build=$1
source_dir=$(realpath "$2")
case_name=$3
export LC_ALL=C.UTF-8
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/support.sh"
e2e_init "package $case_name"
work=$e2e_work

if [ -z "$build" ]; then
    echo "SKIP: no package build folder; configure with -DSM_PACKAGE_BUILD_DIR=<folder> after" \
        "building the package there (scripts/package.sh)"
    exit 77
fi
build=$(realpath "$build")
debs=("$build"/servermonitor_*.deb)
if [ ! -f "${debs[0]}" ]; then
    echo "SKIP: no servermonitor_*.deb in $build; build it with scripts/package.sh"
    exit 77
fi
[ ${#debs[@]} = 1 ] || fail "more than one package in $build: ${debs[*]}"
deb=${debs[0]}
root=$work/root
dpkg-deb -x "$deb" "$root" || fail "cannot unpack $deb"

app_id=com.vormix.ServerMonitor
entry=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml

# desktop_key <key>: a key's value in the menu entry's main group.
desktop_key() { sed -n "s/^$1=//p" "$entry" | head -n1; }

# tree_list <folder>: every path below it (files, links and folders), one a line, sorted.
tree_list() { (cd "$1" && find . -mindepth 1 | sed 's|^\.||' | LC_ALL=C sort); }

case $case_name in
lintian)
    # Every tag is shown; errors and warnings fail.
    lintian --display-info --fail-on error,warning "$deb" 2>"$work/lintian.stderr" |
        tee "$work/lintian.txt"
    status=${PIPESTATUS[0]}
    grep -v 'running with root privileges' "$work/lintian.stderr" >&2
    [ "$status" = 0 ] || fail "lintian reports errors or warnings (status $status)"
    ;;

desktop_entry)
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
    # What it names has to be in the package: the programs and the icon at every size.
    for key in Exec TryExec; do
        program=$(desktop_key "$key")
        [ -x "$root/usr/bin/${program%% *}" ] || fail "$key=$program is not a program of the package"
    done
    icon=$(desktop_key Icon)
    [ "$icon" = "$app_id" ] || fail "Icon=$icon, expected $app_id"
    for size in 16 22 24 32 48 64 128 256; do
        [ -f "$root/usr/share/icons/hicolor/${size}x$size/apps/$icon.png" ] || fail "no $size px icon"
    done
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon"
    # The Chinese name is the program's display name, its window title.
    display_name=$(sed -n 's/^inline constexpr const char\* kDisplayName = "\(.*\)";$/\1/p' \
        "$source_dir/platform/AppInfo.h")
    [ -n "$display_name" ] || fail "no display name found in platform/AppInfo.h"
    [ "$(desktop_key 'Name\[zh_CN\]')" = "$display_name" ] ||
        fail "Name[zh_CN]=$(desktop_key 'Name\[zh_CN\]'), expected $display_name"
    [ "$(desktop_key Categories)" = "Network;Monitor;" ] || fail "Categories=$(desktop_key Categories)"
    # The history viewer's entry: valid, its program in the package, named as its window.
    entry=$root/usr/share/applications/$app_id.History.desktop
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the history entry"
    [ "$(desktop_key Exec)" = "servermonitor-history --window" ] || fail "history Exec=$(desktop_key Exec)"
    [ -x "$root/usr/bin/servermonitor-history" ] || fail "servermonitor-history is not in the package"
    [ "$(desktop_key Icon)" = "$app_id" ] || fail "history Icon=$(desktop_key Icon)"
    title=$(sed -n 's/^ *setWindowTitle(QStringLiteral(u"\(.*\)"));$/\1/p' "$source_dir/viewer/HistoryWindow.cpp")
    [ -n "$title" ] || fail "no window title found in viewer/HistoryWindow.cpp"
    [ "$(desktop_key 'Name\[zh_CN\]')" = "$title" ] ||
        fail "history Name[zh_CN]=$(desktop_key 'Name\[zh_CN\]'), expected $title"
    ;;

metainfo)
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metadata"
    # The installed tree as a software centre reads it: metadata, menu entry and icons together.
    appstreamcli validate-tree --no-net "$root" || fail "appstreamcli rejects the installed tree"
    grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "the metadata does not launch $app_id.desktop"
    version=$(dpkg-deb -f "$deb" Version)
    grep -qF "<release version=\"$version\"" "$metainfo" || fail "no release $version in the metadata"
    ;;

manpage)
    # As lintian reads them: UTF-8, every groff warning on.
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        [ -e "$page" ] || fail "no manual page"
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" >/dev/null 2>"$work/man.stderr" ||
            fail "man cannot format $(basename "$page")"
        [ ! -s "$work/man.stderr" ] || fail "warnings from $(basename "$page"): $(cat "$work/man.stderr")"
    done
    for program in "$root"/usr/bin/*; do
        [ -e "$root/usr/share/man/man1/$(basename "$program").1.gz" ] ||
            fail "no manual page for $(basename "$program")"
    done
    ;;

contents)
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null) || fail "no multiarch name"
    grep -v '^#' "$source_dir/tests/packaging/package-files.txt" | sed "s/@MULTIARCH@/$multiarch/" |
        LC_ALL=C sort >"$work/promised"
    (cd "$root" && find . ! -type d | sed 's|^\.||' | LC_ALL=C sort) >"$work/packaged"
    diff -u "$work/promised" "$work/packaged" >&2 ||
        fail "the package's files differ from tests/packaging/package-files.txt (- promised, + packaged)"
    ;;

install_tree)
    # `cmake --install` of the same build puts the same paths in place as the package.
    DESTDIR=$work/destdir cmake --install "$build" >"$work/install.log" 2>&1 ||
        fail "cmake --install failed: $(cat "$work/install.log")"
    tree_list "$root" >"$work/packaged"
    tree_list "$work/destdir" >"$work/installed"
    diff -u "$work/packaged" "$work/installed" >&2 ||
        fail "cmake --install differs from the package (- packaged, + installed)"
    ;;

depends)
    # Every library the binaries need comes from the package itself or from a package named in
    # Depends; no sanitizer runtime is among them.
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null) || fail "no multiarch name"
    names=" $(sed -E 's/ \([^)]*\)//g; s/[,|]/ /g' <<<"$depends") "
    while IFS= read -r -d '' file; do
        file -b "$file" | grep -q '^ELF' || continue
        for soname in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            case $soname in
            libasan* | libubsan* | libtsan* | liblsan*) fail "$file needs the sanitizer runtime $soname" ;;
            esac
            [ -n "$(find "$root" -name "$soname" -print -quit)" ] && continue
            owner=$(dpkg -S "*/$multiarch/$soname" 2>/dev/null | head -n1 | sed 's/:.*//')
            [ -n "$owner" ] || fail "no installed package holds $soname, needed by $file"
            [[ $names == *" $owner "* ]] || fail "$soname ($owner), needed by $file, is not in Depends"
        done
    done < <(find "$root" -type f -print0)
    dpkg-deb -f "$deb" Recommends | grep -q 'fonts-wqy-zenhei' || fail "no CJK font recommended"
    dpkg-deb -f "$deb" Recommends | grep -qw 'qt6-wayland' || fail "no Wayland plugin recommended"
    ;;

*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
echo "package $case_name: passed"
