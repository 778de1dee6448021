#!/usr/bin/env bash
# Installs the build into a temporary prefix and unpacks its two Debian packages, then loads the
# plug-in from each with the installed till, as an integrator would. The plug-in package must
# hold only what a till needs, and every packaged binary must be stripped.
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
}

# Compares a package's files (paths below /usr, no architecture folder) with those given.
expect_files() {
    local package="$1"
    shift
    diff <(dpkg-deb -c "$package" | awk '$1 !~ /^d/ { print $6 }' \
        | sed -E 's|^\./usr/||; s|^lib/[^/]*-linux-gnu/|lib/|' | sort) <(printf '%s\n' "$@")
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
check "$work/prefix/bin/zorvik-till" "$work/prefix"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
plugin=("$work"/package/zorvikcpqr_*.deb)
tools=("$work"/package/zorvikcpqr-tools_*.deb)
expect_files "${plugin[0]}" lib/zorvikcpqr/libzorvikcpqr.so \
    share/doc/zorvikcpqr/changelog.gz share/doc/zorvikcpqr/copyright \
    share/zorvikcpqr/translations/zorvikcpqr_en.qm share/zorvikcpqr/zorvikcpqr.ini.example
expect_files "${tools[0]}" bin/zorvik-sim bin/zorvik-till lib/zorvikcpqr-tools/libhostcore.so \
    share/doc/zorvikcpqr-tools/changelog.gz share/doc/zorvikcpqr-tools/copyright
dpkg-deb -f "${tools[0]}" Depends | grep -q 'zorvikcpqr (= '
dpkg-deb -f "${plugin[0]}" Depends | grep -q 'libqt6sql6-sqlite'

# As Debian policy asks: an extended description, the changelog's latest entry of the package's
# version, and no maintainer script (the libraries are private: no ldconfig).
for package in "${plugin[0]}" "${tools[0]}"; do
    [ "$(dpkg-deb -f "$package" Description | wc -l)" -ge 4 ] \
        || { echo "no extended description in $package" >&2; exit 1; }
    version="$(dpkg-deb -f "$package" Version)"
    name="$(dpkg-deb -f "$package" Package)"
    dpkg-deb --fsys-tarfile "$package" | tar -xO "./usr/share/doc/$name/changelog.gz" | gzip -dc \
        | head -1 | grep -q "^zorvikcpqr ($version) " \
        || { echo "the changelog of $name does not start with $version" >&2; exit 1; }
    scripts=$(dpkg-deb --ctrl-tarfile "$package" | tar -t | grep -E 'postinst|postrm|triggers' || true)
    [ -z "$scripts" ] || { echo "$package runs $scripts" >&2; exit 1; }
done

for package in "${plugin[0]}" "${tools[0]}"; do
    dpkg-deb -x "$package" "$work/root"
done
unstripped=$(find "$work/root/usr" -type f \( -path '*/bin/*' -o -name '*.so' \) \
    -exec sh -c 'readelf -S "$1" | grep -q "\.debug_info"' sh {} \; -print)
[ -z "$unstripped" ] || { echo "not stripped: $unstripped" >&2; exit 1; }
check "$work/root/usr/bin/zorvik-till" "$work/root/usr"
