#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs:
# both programs side by side, valid menu entries, icons, the autostart entry;
# then the .deb that cpack builds from the same tree.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for f in bin/quillpost bin/quillbox; do
  [ -x "$prefix/$f" ] || fail "$f missing or not executable"
done
for f in share/applications/quillpost.desktop share/applications/quillbox.desktop \
         share/icons/hicolor/scalable/apps/quillpost.svg share/icons/hicolor/scalable/apps/quillbox.svg \
         etc/xdg/autostart/quillbox.desktop; do
  [ -f "$prefix/$f" ] || fail "$f missing"
done
desktop-file-validate "$prefix/share/applications/quillpost.desktop" \
  "$prefix/share/applications/quillbox.desktop" "$prefix/etc/xdg/autostart/quillbox.desktop" \
  || fail "desktop-file-validate"
grep -qx 'Exec=quillbox -V' "$prefix/etc/xdg/autostart/quillbox.desktop" || fail "autostart does not start hidden"
grep -qx 'Icon=quillpost' "$prefix/share/applications/quillpost.desktop" || fail "quillpost icon name"

# The package cpack makes of this build (configured with any prefix): what it
# depends on, where its files go, and its programs without symbols.
cpack -G DEB -B "$prefix/package" --config "$build/CPackConfig.cmake" >/dev/null || fail "cpack"
deb=$(echo "$prefix"/package/*.deb)
[ -f "$deb" ] || fail "no package"
dpkg-deb -f "$deb" Depends | tr ',' '\n' | grep -Eq '^ *libqt6sql6-sqlite( |$)' \
  || fail "the package does not depend on the history's SQLite driver"
files=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
grep -qx './etc/xdg/autostart/quillbox.desktop' <<<"$files" || fail "package: autostart entry not in /etc/xdg/autostart"
! grep -q '^\./usr/etc/' <<<"$files" || fail "package: files under /usr/etc"
dpkg-deb -I "$deb" postinst | grep -q 'setcap cap_net_bind_service' || fail "package: postinst grants no capability"
dpkg-deb -x "$deb" "$prefix/root"
for f in quillpost quillbox; do
  sections=$(readelf -S --wide "$prefix/root/usr/bin/$f") || fail "usr/bin/$f missing from the package"
  ! grep -Eq ' \.(symtab|debug_info) ' <<<"$sections" || fail "package: usr/bin/$f not stripped"
done
echo "install layout and package: 2 passed, 0 failed"
