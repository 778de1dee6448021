#!/usr/bin/env bash
# The README examples' checker must fail where the examples cannot be trusted: when their
# simulator does not start (a build whose zorvik-sim fails at once), and when an example leaves
# a process running.
set -euo pipefail
checker="$(dirname "$(realpath "$0")")/check-readme.sh"
readme="$(realpath "$1")"
build="$(realpath "$2")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# expect_failure NAME TEXT README BUILD: the checker fails on them and says TEXT.
expect_failure() {
    local status=0
    bash "$checker" "$3" "$4" > "$work/$1.out" 2>&1 || status=$?
    if [ "$status" -eq 0 ] || ! grep -q -- "$2" "$work/$1.out"; then
        echo "$1: the checker passed or did not say '$2' (status $status):"
        cat "$work/$1.out"
        exit 1
    fi
}

mkdir "$work/build"
for entry in "$build"/*; do
    ln -s "$entry" "$work/build/"
done
rm "$work/build/zorvik-sim"
printf '#!/bin/sh\necho "zorvik-sim: planted start failure" >&2\nexit 1\n' > "$work/build/zorvik-sim"
chmod +x "$work/build/zorvik-sim"
expect_failure "simulator not started" "planted start failure" "$readme" "$work/build"

printf '<!-- example -->\n```sh\nsleep 600 &\necho started\n```\n' > "$work/left.md"
printf '<!-- example -->\n```sh\necho second\n```\n' >> "$work/left.md"
expect_failure "process left running" "left processes running" "$work/left.md" "$build"
echo "the checker fails in both cases"
