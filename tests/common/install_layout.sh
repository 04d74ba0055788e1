#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs:
# both programs side by side, valid menu entries and metainfo, icons in every
# size, manual pages, firewall profiles, the autostart entry; then the .deb
# that cpack builds from the same tree, and its programs at work.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for f in bin/quillpost bin/quillbox; do
  [ -x "$prefix/$f" ] || fail "$f missing or not executable"
done
shipped=(share/applications/quillpost.desktop share/applications/quillbox.desktop
         share/icons/hicolor/scalable/apps/quillpost.svg share/icons/hicolor/scalable/apps/quillbox.svg
         share/metainfo/org.example.quill.quillpost.metainfo.xml
         share/metainfo/org.example.quill.quillbox.metainfo.xml
         share/man/man1/quillpost.1 share/man/man1/quillbox.1
         lib/firewalld/services/quillbox.xml etc/ufw/applications.d/quillbox etc/xdg/autostart/quillbox.desktop)
for size in 16 22 24 32 48 64 128 256; do
  for icon in quillpost quillbox; do
    shipped+=("share/icons/hicolor/${size}x${size}/apps/$icon.png")
  done
  python3 -c 'import struct, sys; h = open(sys.argv[1], "rb").read(24)
sys.exit(h[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack(">II", h[16:24]) != (int(sys.argv[2]),) * 2)' \
    "$prefix/share/icons/hicolor/${size}x${size}/apps/quillbox.png" "$size" \
    || fail "the ${size}x${size} icon is not a PNG of that size"
done
for f in "${shipped[@]}"; do
  [ -f "$prefix/$f" ] || fail "$f missing"
done
appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.metainfo.xml >/dev/null \
  || fail "appstreamcli validate"
for page in quillpost quillbox; do
  # Every option the program knows is in its manual page.
  man_text=$(MANWIDTH=200 man -l "$prefix/share/man/man1/$page.1" 2>/dev/null) || fail "man $page"
  for option in $("$prefix/bin/$page" --help | grep -Eo '^ +(-[a-zA-Z], )?--?[a-z-]+' | grep -Eo -- '--?[a-z-]+$'); do
    grep -q -- "$option" <<<"$man_text" || fail "man $page does not describe $option"
  done
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
# The plugins the programs load: SVG icons, SQLite, Wayland; the TLS backend
# and X11 come with the libraries the programs link.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n')
for plugin in libqt6svg6 libqt6sql6-sqlite qt6-wayland libqt6network6 libqt6gui6; do
  grep -Eq "^ *$plugin( |$)" <<<"$depends" || fail "the package does not depend on $plugin"
done
files=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for f in "${shipped[@]}"; do
  case $f in
    etc/*) path=./$f ;;
    *) path=./usr/$f ;;
  esac
  grep -qx "$path" <<<"$files" || fail "package: $path missing"
done
grep -qx './etc/xdg/autostart/quillbox.desktop' <<<"$files" || fail "package: autostart entry not in /etc/xdg/autostart"
! grep -q '^\./usr/etc/' <<<"$files" || fail "package: files under /usr/etc"
dpkg-deb -I "$deb" postinst | grep -q 'setcap cap_net_bind_service' || fail "package: postinst grants no capability"
dpkg-deb -x "$deb" "$prefix/root"
for f in quillpost quillbox; do
  sections=$(readelf -S --wide "$prefix/root/usr/bin/$f") || fail "usr/bin/$f missing from the package"
  ! grep -Eq ' \.(symtab|debug_info) ' <<<"$sections" || fail "package: usr/bin/$f not stripped"
done

# The programs as the package installed them: quillbox answers, and keeps
# what a sender delivers in its history.
root=$prefix/root
"$root/usr/bin/quillbox" --version | grep -q '^quillbox ' || fail "installed quillbox --version"
home=$prefix/home
mkdir -p "$home/config/Quillbox" "$home/data" "$home/run"
chmod 700 "$home/run"
# A port that was free a moment ago may be taken by then by another test's
# connection: then once more on another.
stop() { kill "$quillbox" 2>/dev/null; wait "$quillbox" 2>/dev/null || true; }
delivered=0
for _ in 1 2 3; do
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  printf '[Ports]\n1_port=%s\n[Settings]\nPlayIncomingSound=False\n' "$port" >"$home/config/Quillbox/Quillbox.ini"
  XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run QT_QPA_PLATFORM=offscreen \
    DBUS_SESSION_BUS_ADDRESS= "$root/usr/bin/quillbox" -V >/dev/null 2>&1 &
  quillbox=$!
  for _ in $(seq 150); do
    if (printf 'ann\x006000\x00from the package' >"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      delivered=1
      break
    fi
    sleep 0.1
  done
  [ $delivered -eq 1 ] && break
  stop
done
[ $delivered -eq 1 ] || fail "installed quillbox does not listen"
kept=0
for _ in $(seq 100); do
  kept=$(python3 - "$home/data/Quillbox/history.sqlite" <<'PY'
import sqlite3, sys
try:
    db = sqlite3.connect("file:" + sys.argv[1] + "?mode=ro", uri=True)
    print(db.execute("SELECT count(*) FROM messages WHERE name = 'ann' AND text = 'from the package'").fetchone()[0])
except sqlite3.Error:
    print(0)
PY
)
  [ "$kept" = 1 ] && break
  sleep 0.1
done
stop
[ "$kept" = 1 ] || fail "installed quillbox kept no history of the message"
echo "install layout and package: 3 passed, 0 failed"
