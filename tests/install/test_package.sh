#!/usr/bin/env bash
# Builds the Debian package from the build tree (cpack, into a temporary folder) and checks what
# it declares: name, version, architecture, the exact list of files under /usr, and dependencies
# computed from the binaries (the Qt 6 and plot libraries, never a Qt 5 or development package).
# The desktop metadata inside it is validated against its desktop entry when appstreamcli is
# there. Exits 77 (skipped) without dpkg-deb.
#   test_package.sh BUILD_DIR
set -euo pipefail
build="$1"
command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }
work="$(mktemp -d /tmp/rorir-package-XXXXXX)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

timeout 120 cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack did not build the package"; }
arch="$(dpkg --print-architecture)"
deb="$work/rorir_1.52_${arch}.deb"
[ -f "$deb" ] || { ls "$work"; fail "no rorir_1.52_${arch}.deb"; }

[ "$(dpkg-deb -f "$deb" Package)" = rorir ] || fail "package name: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = 1.52 ] || fail "version: $(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "architecture: $(dpkg-deb -f "$deb" Architecture)"

# Every file of the package, nothing more: a missing resource stops the program at start-up, a
# stray one (a test program, a build file) has no place on a user's machine.
expected="/usr/bin/rorir
/usr/bin/rorir-bench
/usr/bin/rorir-gateway
/usr/bin/rorir-probe
/usr/bin/rorir-sensor
/usr/share/applications/rorir.desktop
/usr/lib/systemd/system/rorir-gateway@.service
/usr/share/icons/hicolor/128x128/apps/rorir.png
/usr/share/icons/hicolor/16x16/apps/rorir.png
/usr/share/icons/hicolor/256x256/apps/rorir.png
/usr/share/icons/hicolor/32x32/apps/rorir.png
/usr/share/icons/hicolor/48x48/apps/rorir.png
/usr/share/icons/hicolor/64x64/apps/rorir.png
/usr/share/icons/hicolor/scalable/apps/rorir.svg
/usr/share/man/man1/rorir-bench.1.gz
/usr/share/man/man1/rorir-gateway.1.gz
/usr/share/man/man1/rorir-probe.1.gz
/usr/share/man/man1/rorir-sensor.1.gz
/usr/share/man/man1/rorir.1.gz
/usr/share/metainfo/example.rorir.Rorir.metainfo.xml
/usr/share/rorir/gateway.conf.example
/usr/share/rorir/K-VOR-PX-Rorir-QMBv152.uir
/usr/share/rorir/qz.bmp
/usr/share/rorir/rorir.png"
actual="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | LC_ALL=C sort)"
[ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] ||
  fail "file list differs (< expected, > in the package):
$(diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") || true)"
# The programs run as root-owned executables.
[ "$(dpkg-deb -c "$deb" | grep -c -E '^-rwxr-xr-x root/root .* \./usr/bin/rorir(-sensor|-bench|-probe)?$')" = 4 ] ||
  fail "the programs are not executables owned by root"

depends="$(dpkg-deb -f "$deb" Depends)"
names="$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *([^ ]+).*/\1/')"
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqcustomplot2.1-qt6 libmosquitto1; do
  grep -qx "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
done
! grep -E -e '^libqt5' -e '^libqcustomplot2\.1$' -e '-dev$' <<<"$names" ||
  fail "Depends names a Qt 5 or development package: $depends"
grep -q '(>= ' <<<"$depends" || fail "Depends carries no versions, so it was not computed: $depends"

if command -v appstreamcli >/dev/null; then
  dpkg-deb -x "$deb" "$work/root"
  timeout 60 appstreamcli validate-tree --no-net "$work/root" || fail "the desktop metadata is not valid"
else
  echo "note: appstreamcli is not installed, the desktop metadata was not validated"
fi
echo "package $(basename "$deb"): $(wc -l <<<"$actual") files; Depends: $depends"
