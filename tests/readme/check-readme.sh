#!/usr/bin/env bash
# Runs the README's examples that can run unattended (the sh blocks after "<!-- example -->")
# against this build, as written: from a folder where "build" is the build folder. An example
# fails the run when a command of it fails (its simulator not starting among them), and when it
# leaves a process running after its end.
set -euo pipefail
readme="$(realpath "$1")"
build="$(realpath "$2")"
work="$(mktemp -d)"
examples=""
# Whatever happened, nothing the examples started outlives the run.
trap '[ -z "$examples" ] || kill -KILL -- "-$examples" 2>/dev/null || true; rm -rf "$work"' EXIT
ln -s "$build" "$work/build"
cd "$work"

awk '/<!-- example -->/ { wanted = 1; next }
     wanted && /^```sh/ { inside = 1; next }
     inside && /^```/ { inside = 0; wanted = 0; print "echo \"--- example done\""; next }
     inside { print }' "$readme" > examples.sh
[ "$(grep -c -- '--- example done' examples.sh)" -ge 2 ] || { echo "no examples found"; exit 1; }

# In a session of their own, so that every process they start can be found and ended.
setsid bash -euo pipefail examples.sh > output.txt 2>&1 < /dev/null &
examples=$!
wait "$examples" || { cat output.txt; echo "--- the examples failed"; exit 1; }
cat output.txt

# A process that was told to end may take a moment; one still there after seconds was left.
for attempt in $(seq 50); do
    pgrep -s "$examples" > /dev/null || break
    sleep 0.1
done
if pgrep -s "$examples" > /dev/null; then
    echo "--- the examples left processes running:"
    pgrep -a -s "$examples"
    exit 1
fi

grep -q 'pay: success' output.txt
grep -q '"zorvikCpqrPaymentDeclined"' output.txt
grep -q '"result":true' output.txt
