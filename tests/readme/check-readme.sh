#!/usr/bin/env bash
# Runs the README's examples that can run unattended (the sh blocks after "<!-- example -->")
# against this build, as written: from a folder where "build" is the build folder.
set -euo pipefail
readme="$(realpath "$1")"
build="$(realpath "$2")"
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
ln -s "$build" "$work/build"
cd "$work"

awk '/<!-- example -->/ { wanted = 1; next }
     wanted && /^```sh/ { inside = 1; next }
     inside && /^```/ { inside = 0; wanted = 0; print "echo \"--- example done\""; next }
     inside { print }' "$readme" > examples.sh
[ "$(grep -c -- '--- example done' examples.sh)" -ge 2 ] || { echo "no examples found"; exit 1; }
bash -euo pipefail examples.sh > output.txt 2>&1 || { cat output.txt; exit 1; }
cat output.txt
grep -q 'pay: success' output.txt
grep -q '"zorvikCpqrPaymentDeclined"' output.txt
grep -q '"result":true' output.txt
