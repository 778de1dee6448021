#!/usr/bin/env bash
# Installs the build into a temporary prefix and unpacks its Debian package, then loads the
# plug-in from each with the installed till, as an integrator would.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

check() {
    local till="$1" root="$2"
    "$till" --json info | grep -q '"processingClass":"zorvikcpqr::Processing"'
    "$till" --lang en --json message 0 | grep -q 'Processing the Zorvik Pay QR code'
    "$till" --config "$root/share/zorvikcpqr/zorvikcpqr.ini.example" --json info \
        | grep -q '"paymentCodeMask":"^(?<sbpCpqr>ZVQR.\*)\$","paymentCodeMaskValid":true'
    echo "ok: $till"
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
check "$work/prefix/bin/zorvik-till" "$work/prefix"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
dpkg-deb -x "$work"/package/zorvikcpqr_*.deb "$work/root"
check "$work/root/usr/bin/zorvik-till" "$work/root/usr"
