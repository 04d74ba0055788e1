#!/usr/bin/env bash
# Takes the README's pictures from the real programs under a private Xvfb:
# both main windows, a message window, the History window and the user-list
# editor. Run it after
# a change to a window; it writes docs/screenshots/*.png.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/deps.sh"
quill_install_deps
QUILL_PACKAGES=(xdotool imagemagick openbox python3)
quill_install_deps

build="$QUILL_ROOT/build"
quill_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF
out="$QUILL_ROOT/docs/screenshots"
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -p "$XDG_CONFIG_HOME/Quillbox" "$XDG_CONFIG_HOME/Quillpost" "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"

# A free loopback port for Quillbox, and a few users for Quillpost.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$XDG_CONFIG_HOME/Quillbox/Quillbox.ini" <<INI
[Ports]
1_port=$port
[Settings]
PlayIncomingSound=False
INI
cat > "$XDG_CONFIG_HOME/Quillpost/Quillpost.ini" <<INI
[Identification]
MyUsername=Ann
MyPortnb=$port
[Settings]
PopupWhenSend=False
MinimizedWhenSend=False
[Users]
1_name=localhost
1_ip=127.0.0.1
1_port=$port
2_name=Bob (front desk)
2_ip=192.168.1.20
2_port=505
3_name=Carol
3_ip=192.168.1.31
3_port=505
4_name=Build server
4_ip=192.168.1.40
4_port=5050
INI

# Xvfb picks a free display and writes its number to the file.
Xvfb -displayfd 3 -screen 0 1024x700x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

wait_window() { # name -> window id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window named $1" >&2
  return 1
}
shot() { # window id, file
  sleep 0.5
  import -window "$1" -frame "$out/$2"
  echo "wrote docs/screenshots/$2"
}

"$build/bin/quillbox" &
pids+=($!)
box=$(wait_window "Message Receiver")
xdotool windowmove "$box" 40 40
shot "$box" quillbox-main.png

python3 - "$port" <<'PY'
import socket, sys
text = "Lunch at 12:30 in the small meeting room?\r\nBring the printouts, please."
payload = b"Bob (front desk)\0" + b"505\0" + text.encode("cp1252")
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5) as s:
    s.sendall(payload)
PY
# Exactly "Message ": the main window's caption begins with those words too.
message=$(wait_window 'Message $')
xdotool windowmove "$message" 300 120
shot "$message" quillbox-message.png

# A few more senders, then the History window from the main window's menu.
python3 - "$port" <<'PY'
import socket, sys
for name, text in [("Carol", "The projector in room 2 is fixed."),
                   ("Build server", "Nightly build 1482 passed: 312 tests, 0 failures."),
                   ("Carol", "Coffee machine on the 3rd floor is empty again\r\n:-(")]:
    with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5) as s:
        s.sendall(name.encode("cp1252") + b"\x00" + b"505\x00" + text.encode("cp1252"))
PY
sleep 1
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key --delay 100 alt+f h
history=$(wait_window "History")
xdotool windowmove "$history" 80 60
xdotool key --delay 100 Tab Down
shot "$history" quillbox-history.png

"$build/bin/quillpost" &
pids+=($!)
post=$(wait_window "Send Message")
xdotool windowmove "$post" 60 60
xdotool windowactivate --sync "$post" 2>/dev/null || true
xdotool type --delay 5 "See you there!"
shot "$post" quillpost-main.png

# "Modify User" sits second from the right of the bottom row.
eval "$(xdotool getwindowgeometry --shell "$post")"
xdotool mousemove --window "$post" $((WIDTH - 136)) $((HEIGHT - 22)) click 1
editor=$(wait_window "Modify User")
shot "$editor" quillpost-users.png
