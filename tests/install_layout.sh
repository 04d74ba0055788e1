#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs:
# both programs side by side, valid menu entries, icons, the autostart entry.
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
echo "install layout: 1 passed, 0 failed"
