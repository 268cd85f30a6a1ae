#!/usr/bin/env bash
# End-to-end test of the real program: its own X server (Xvfb), the stand-in
# file host on the loopback port the program was built for, and real input
# events (xdotool) and the real clipboard (xclip).
#
#   e2e_test.sh HELPER STANDIN PORT ARTIFACT_DIR
#
# 1. Right code: the captcha is fetched, the links come back, each copy
#    button puts the link the stand-in served on the clipboard.
# 2. Wrong code: the message box appears, Enter dismisses it, a new captcha
#    is requested, and the copy buttons still hold the earlier links.
# 3. A page without the link anchors: the failure message appears, and
#    asking again gets the links.
# Screenshots and logs are left in ARTIFACT_DIR.
set -euo pipefail

helper=$1
standin=$2
port=$3
out=$4

readonly title_main='【鲸舟】城通网盘'
readonly title_box='信息：'
readonly msg_rejected='验证码错误!'
readonly msg_no_links='城通抽了,请重试!'

mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log "$out/display"
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$out/runtime"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

xvfb_pid=""
standin_pid=""
helper_pid=""

cleanup() {
  for pid in "$helper_pid" "$standin_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  done
  wait 2>/dev/null || true
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for f in "$out"/*.log; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
  done
  if [ -n "${DISPLAY:-}" ]; then import -window root "$out/failure.png" 2>/dev/null || true; fi
  exit 1
}

# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $what"
    sleep 0.2
  done
}

# Runs on the same port serialise: the port is built into the program.
exec 9>"${TMPDIR:-/tmp}/ctdisk-e2e-$port.lock"
flock -w 240 9 || fail "another end-to-end run holds port $port"

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }
port_open && fail "port $port is already in use"

# --- X server: Xvfb picks a free display number and reports it when ready.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$out/display" 2>"$out/xvfb.log" &
xvfb_pid=$!
display_ready() { grep -qx '[0-9][0-9]*' "$out/display" 2>/dev/null; }
wait_for 30 "Xvfb" display_ready
DISPLAY=":$(head -n 1 "$out/display")"
export DISPLAY

# --- stand-in
start_standin() {
  local log=$1
  shift
  "$standin" --port "$port" --log "$log" "$@" 2>>"$out/standin-stderr.log" &
  standin_pid=$!
  wait_for 20 "the stand-in to listen" port_open
}
stop_standin() {
  kill "$standin_pid"
  wait "$standin_pid" || true
  standin_pid=""
  port_closed() { ! port_open; }
  wait_for 20 "the stand-in to stop" port_closed
}
# count LOG PATTERN: lines of LOG matching the Perl regex PATTERN.
count() { grep -cP "$2" "$1" || true; }
count_is() { [ "$(count "$1" "$2")" -eq "$3" ]; }
# The links of the last successful answer in LOG: thunder, telecom, unicom.
served_links() { grep -P '\tlinks\t' "$1" | tail -n 1 | cut -f 5-7 | tr '\t' '\n'; }

# --- the program
"$helper" >"$out/helper.log" 2>&1 &
helper_pid=$!
find_main() { window=$(xdotool search --onlyvisible --name "^${title_main}\$" 2>/dev/null | head -n 1) && [ -n "$window" ]; }
wait_for 30 "the main window" find_main
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "472x344" ] || fail "main window client area is $geometry, not 472x344"

# Control centres, in window coordinates.
click_at() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
click_fetch_captcha() { click_at 428 20; }  # 按钮2
click_captcha_box() { click_at 200 132; }   # 编辑框1
click_fetch_links() { click_at 272 132; }   # 按钮1
click_links_box() { click_at 236 232; }     # 编辑框3
copy_x=(308 372 436)                        # 按钮3 迅雷, 按钮4 电信, 按钮5 联通

clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
clipboard_is() { [ "$(clipboard)" = "$1" ]; }

type_captcha() {
  click_captcha_box
  xdotool key ctrl+a
  xdotool type --delay 50 "$1"
}

# check_copy_buttons THUNDER TELECOM UNICOM: each button copies its link.
check_copy_buttons() {
  local want=("$@") i
  for i in 0 1 2; do
    click_at "${copy_x[$i]}" 332
    wait_for 10 "copy button $((i + 1)) to copy ${want[$i]}" clipboard_is "${want[$i]}"
  done
}

find_box() { box=$(xdotool search --onlyvisible --name "^${title_box}\$" 2>/dev/null | head -n 1) && [ -n "$box" ]; }
no_box() { ! xdotool search --name "^${title_box}\$" >/dev/null 2>&1; }
primary_is_set() { [ -n "$(xclip -o -selection primary 2>/dev/null)" ]; }
# Waits for the message box, reads its text (a triple click selects the
# label, which puts it in the primary selection), and dismisses it with Enter.
expect_message() {
  local expected=$1 shot=$2 width text
  wait_for 20 "a window titled $title_box" find_box
  import -window root "$out/$shot"
  printf '' | xclip -selection primary
  width=$(xdotool getwindowgeometry "$box" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
  xdotool mousemove --window "$box" $((width / 2)) 18 click --repeat 3 --delay 80 1
  wait_for 10 "the message text" primary_is_set
  text=$(xclip -o -selection primary)
  [ "$text" = "$expected" ] || fail "message box says '$text', expected '$expected'"
  xdotool windowfocus --sync "$box" key Return
  wait_for 10 "Enter to dismiss the message box" no_box
}

# === 1. right code
start_standin "$out/standin-1.log" --fixed-code 4321
log=$out/standin-1.log
click_fetch_captcha
wait_for 20 "the captcha request" count_is "$log" '^GET\t/randcodeV2\.php\?fid=8057452&rand=0\.[0-9]+\t' 1
sleep 1
import -window "$window" "$out/captcha.png"

type_captcha 4321
click_fetch_links
wait_for 20 "the guest download request" count_is "$log" '\tlinks\t' 1
grep -qP '^POST\t/guest_loginV2\.php\tfile_id=8057452&randcode=4321&Comfirm\.x=167&Comfirm\.y=23\t' \
  "$log" || fail "the form body is not the one expected"
mapfile -t links < <(served_links "$log")
check_copy_buttons "${links[@]}"

# The links box shows the three links under their names.
click_links_box
xdotool key ctrl+a ctrl+c
shown=$(printf '迅雷:\n%s\n电信:\n%s\n联通:\n%s' "${links[@]}")
wait_for 10 "the links box to show the links" clipboard_is "$shown"
import -window "$window" "$out/links.png"

# === 2. wrong code
type_captcha 9999
click_fetch_links
expect_message "$msg_rejected" rejected.png
wait_for 20 "a new captcha request after the rejection" count_is "$log" '^GET\t/randcodeV2\.php' 2
count_is "$log" '\trejected$' 1 || fail "the stand-in did not reject the wrong code"
check_copy_buttons "${links[@]}"

# === 3. a page without the link anchors, then the links on asking again
stop_standin
start_standin "$out/standin-3.log" --fixed-code 5678 --no-markers=1
log=$out/standin-3.log
click_fetch_captcha
wait_for 20 "the captcha request" count_is "$log" '^GET\t/randcodeV2\.php.*new-session$' 1
type_captcha 5678
click_fetch_links
expect_message "$msg_no_links" no-links.png
count_is "$log" '\tno-markers$' 1 || fail "the stand-in did not answer without the anchors"

click_fetch_links
wait_for 20 "the second guest download request" count_is "$log" '\tlinks\t' 1
mapfile -t links < <(served_links "$log")
check_copy_buttons "${links[@]}"

kill -0 "$helper_pid" 2>/dev/null || fail "the program ended early"
echo "PASS: end-to-end flows; screenshots in $out"
