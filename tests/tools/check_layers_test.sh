#!/usr/bin/env bash
# tools/dev/check-layers on small trees of its own: a clean tree passes, an include that points up
# or sideways fails, and so does a source folder that the layers block does not list, whether the
# tree is a git checkout (tracked files) or an unpacked archive (every file).
#
# usage: check_layers_test.sh <check-layers> <case>
set -uo pipefail

script=$(realpath "$1")
case_name=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A temporary folder inside some other checkout must not make the "archive" tree look like one.
export GIT_CEILING_DIRECTORIES=$work

fail() {
    echo "FAIL (check-layers $case_name): $*" >&2
    [ -s "$work/out" ] && sed 's/^/  output: /' "$work/out" >&2
    exit 1
}

# tree <folder>: the script, an architecture note with two layers and one source on each.
tree() {
    local top=$1
    mkdir -p "$top/tools/dev" "$top/docs" "$top/engine" "$top/net"
    cp "$script" "$top/tools/dev/check-layers"
    printf '# Architecture\n\n```layers\nengine\nnet\n```\n' >"$top/docs/ARCHITECTURE.md"
    printf '#include "net/Socket.h"\n' >"$top/engine/Cycle.cpp"
    printf '#pragma once\n' >"$top/net/Socket.h"
}

# put <top> <path> <text>: one more source file.
put() {
    mkdir -p "$(dirname "$1/$2")"
    printf '%s\n' "$3" >"$1/$2"
}

# check <top>: runs the script (tracking every file first when the tree is a git checkout); sets
# status and leaves its output in $work/out.
check() {
    if [ -d "$1/.git" ]; then
        git -C "$1" add -A || fail "git add"
    fi
    python3 "$1/tools/dev/check-layers" >"$work/out" 2>&1
    status=$?
}

expect() {
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

mentions() {
    grep -qF -- "$1" "$work/out" || fail "the output does not name $1"
}

for kind in archive git; do
    top=$work/$kind
    tree "$top"
    if [ "$kind" = git ]; then
        command -v git >/dev/null || continue
        git init -q "$top" || fail "git init"
    fi
    case $case_name in
    clean)
        # Folders outside the layers, build folders and a folder inside a listed one are fine.
        put "$top" tests/engine/CycleTest.cpp '#include "engine/Cycle.h"'
        put "$top" bench/CycleBench.cpp '#include "engine/Cycle.h"'
        put "$top" fuzz/Fuzz.cpp '#include "net/Socket.h"'
        put "$top" tools/gen/main.cpp '#include "engine/Cycle.h"'
        put "$top" build-test/gen/moc_Cycle.cpp '#include "engine/Cycle.h"'
        put "$top" engine/detail/Step.h '#include "net/Socket.h"'
        put "$top" net/README.txt 'not a source'
        put "$top" history/README.txt 'a folder without sources'
        check "$top"
        expect 0
        [ -s "$work/out" ] && fail "a clean tree printed something"
        ;;
    upward)
        put "$top" net/Socket.cpp '#include "engine/Cycle.h"'
        check "$top"
        expect 1
        mentions "net/Socket.cpp:1: net includes engine/Cycle.h"
        ;;
    unlisted_folder)
        # A new folder with sources and a clean include is not checked until listed: it fails.
        put "$top" history/Store.h '#pragma once'
        put "$top" history/Store.cpp '#include "net/Socket.h"'
        put "$top" alerts/mail/Mail.cpp '#include "engine/Cycle.h"'
        check "$top"
        expect 1
        mentions "history is not in the \`\`\`layers block"
        mentions "alerts/mail is not in the \`\`\`layers block"
        [ "$(grep -c . "$work/out")" -eq 2 ] || fail "expected one line per unlisted folder"
        # Listed, it is checked like every other folder.
        printf '# Architecture\n\n```layers\nhistory\nengine\nnet\nalerts/mail\n```\n' \
            >"$top/docs/ARCHITECTURE.md"
        check "$top"
        expect 1
        mentions "alerts/mail/Mail.cpp:1: alerts/mail includes engine/Cycle.h"
        grep -q history "$work/out" && fail "a listed folder is still reported"
        ;;
    top_level_source)
        put "$top" main.cpp '#include "engine/Cycle.h"'
        check "$top"
        expect 1
        mentions "main.cpp: (the top folder) is not in the"
        ;;
    *) fail "no such case" ;;
    esac
done
exit 0
