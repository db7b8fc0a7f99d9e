#!/usr/bin/env bash
# Installs the Debian package into a clean Debian 12 root, as a person would on a fresh
# machine (apt-get install ./plenthtools_*.deb, which brings its dependencies and
# recommendations), then runs what the package offers there: plenth demo, the Python
# package, plenth-map offscreen and, when the QGIS bindings came with it (the package
# recommends them), the Processing provider. The clean root (debootstrap's minimal base) is made once and kept as a tarball
# under the build directory; every check starts from a fresh copy of it.
set -euo pipefail
build=${1:-build}
deb=$(ls -t plenthtools_*.deb 2>/dev/null | head -1 || true)
[ -n "$deb" ] || { echo "deb-check: no plenthtools_*.deb here (make deb first)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "deb-check: needs root (debootstrap and chroot)" >&2; exit 1; }
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache="$build/deb-check"
base="$cache/bookworm-minbase.tar"
mkdir -p "$cache"
if [ ! -s "$base" ]; then
  echo "deb-check: making a clean Debian 12 root (once; kept as $base)"
  rm -rf "$cache/base"
  debootstrap --variant=minbase bookworm "$cache/base" "$mirror" > "$cache/debootstrap.log" 2>&1 ||
    { tail -20 "$cache/debootstrap.log" >&2; exit 1; }
  tar -C "$cache/base" -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf "$cache/base"
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/plenth-debroot.XXXXXX")
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  umount "$root/dev" 2>/dev/null || true
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"

inside() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive /bin/bash -c "$1"; }

echo "== apt-get install ./$(basename "$deb") in a clean Debian 12 root"
inside "apt-get update -q > /tmp/apt-update.log 2>&1 && cd /tmp && apt-get install -y -q ./$(basename "$deb") > /tmp/apt-install.log 2>&1" ||
  { tail -30 "$root/tmp/apt-install.log" >&2; exit 1; }
grep -E '^(Setting up plenthtools|[0-9]+ upgraded)' "$root/tmp/apt-install.log" || true

echo "== plenth demo"
inside "mkdir -p /tmp/work && cd /tmp/work && plenth demo > demo.log 2>&1; rc=\$?; tail -4 demo.log; exit \$rc"
echo "== plenth-map --help (offscreen)"
inside "QT_QPA_PLATFORM=offscreen plenth-map --help 2>/dev/null | head -3"
echo "== python3 -c 'import plenthtools'"
inside "cd /tmp/work && python3 -c 'import plenthtools; print(\"plenthtools\", plenthtools.__version__, \"from\", plenthtools.__file__); print(plenthtools.export_grid(\"demo-out/dem.tif\", \"/tmp/work/dem\"))'"
# The plugin comes with python3-qgis, which the package recommends (apt installs it).
if inside "dpkg-query -W -f='\${Status}' python3-qgis 2>/dev/null | grep -q 'install ok installed'"; then
  echo "== the QGIS Processing provider"
  cp "$(dirname "$0")/deb-check-qgis.py" "$root/tmp/"
  inside "set -o pipefail; cd /tmp/work && export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/xdg HOME=/tmp/qgishome &&
    mkdir -p -m 700 \$XDG_RUNTIME_DIR \$HOME && python3 /tmp/deb-check-qgis.py 2>&1 | grep -v -e XDG_RUNTIME_DIR -e setapi"
else
  echo "(python3-qgis not installed: the QGIS provider not checked)"
fi
echo "deb-check: passed"
