#!/usr/bin/env bash
# The real viewer on a real X server (Xvfb) under a light window manager (openbox): a hand-off
# or a later start reaches a window that the user minimised or put behind another program, and
# the window must come back, on top and active, as the window manager itself reports it.
set -uo pipefail
: "${SHEETPEEK_BIN_DIR:?}" "${SHEETPEEK_TEST_DATA:?}"

failures=0
fail() {
  printf 'FAIL: %b\n' "$*" >&2
  failures=$((failures + 1))
}
for tool in Xvfb openbox xdotool xprop xmessage; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps base)" >&2; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/sheetpeek-wm.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to the pipe.
exec {fd}>"$scratch/display"
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
exec {fd}>&-
for _ in $(seq 100); do [[ -s $scratch/display ]] && break; sleep 0.1; done
[[ -s $scratch/display ]] || { cat "$scratch/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$scratch/display")
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

openbox --config-file /dev/null >"$scratch/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "openbox did not start" >&2; exit 1; }

export XDG_RUNTIME_DIR=$scratch/rt SHEETPEEK_TEST_TRACE=$scratch/trace SHEETPEEK_NO_MESSAGE_BOX=1
mkdir -m 700 "$XDG_RUNTIME_DIR"
# A Japanese user whose Qt translations are missing: the viewer must run all the same.
export LANG=ja_JP.UTF-8 SHEETPEEK_QT_TRANSLATIONS=$scratch/no-translations
unset LC_ALL LC_MESSAGES LANGUAGE
mkdir "$SHEETPEEK_QT_TRANSLATIONS"
: >"$SHEETPEEK_TEST_TRACE"
golden=$SHEETPEEK_TEST_DATA/golden
viewer=$SHEETPEEK_BIN_DIR/sheetpeek

# Waits up to ten seconds for a shell condition (a sanitizer build starts slowly).
await() {
  local _
  for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done
  return 1
}
lines() { wc -l <"$SHEETPEEK_TEST_TRACE"; }

(cd "$scratch" && exec "$viewer" "$golden/runs.cad") &
viewer_pid=$!
pids+=("$viewer_pid")
await '[[ $(lines) -ge 1 ]]' || { echo "the viewer never became ready" >&2; exit 1; }
window=$(xdotool search --all --onlyvisible --pid "$viewer_pid" | head -n 1)
[[ -n $window ]] || { echo "no window of the viewer's found" >&2; exit 1; }

# What the window manager says of the window: "normal" or "iconic", "hidden" when it flags it so,
# and "active" when it is the active window.
wm_state() {
  local state net active
  state=$(xprop -id "$window" WM_STATE | sed -n 's/.*window state: //p' | tr '[:upper:]' '[:lower:]')
  net=$(xprop -id "$window" _NET_WM_STATE)
  active=$(xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*window id # //p')
  printf '%s' "$state"
  [[ $net == *_NET_WM_STATE_HIDDEN* ]] && printf ' hidden'
  [[ -n $active ]] && (( active == window )) && printf ' active'
  echo
}
await '[[ $(wm_state) == "normal active" ]]' || fail "the first window is '$(wm_state)', not normal and active"

# Another program's window, in front and active.
cover() {
  xmessage -geometry 600x400+200+150 -name sheetpeek-cover "in front" 2>/dev/null &
  pids+=($!)
  await 'xdotool search --onlyvisible --classname sheetpeek-cover >/dev/null' || { fail "xmessage did not open"; return; }
  xdotool windowactivate --sync "$(xdotool search --onlyvisible --classname sheetpeek-cover | head -n 1)"
}

# before: how the window is left first; args: the later start's arguments;
# after: the window manager's view once it settles; trace: the window's own line, less the folder.
while IFS='|' read -r before args after trace; do
  case $before in
    minimised) [[ $(wm_state) == iconic* ]] || xdotool windowminimize --sync "$window"
               await '[[ $(wm_state) == "iconic hidden" ]]' || fail "minimising gave '$(wm_state)'" ;;
    covered) cover
             await '[[ $(wm_state) == normal ]]' || fail "the other program's window left '$(wm_state)'" ;;
  esac
  count=$(lines)
  read -ra argv <<<"$args"
  out=$(cd "$scratch" && timeout 20 "$viewer" "${argv[@]/#/$golden/}" 2>&1)
  status=$?
  [[ $status -eq 0 ]] || fail "$before, '$args': the later start ended with $status: $out"
  await "[[ \$(lines) -gt $count ]]" || { fail "$before, '$args': no trace line"; continue; }
  line=$(tail -n 1 "$SHEETPEEK_TEST_TRACE")
  expected=${trace/ @/ $golden$'\t'}
  [[ $line == "$expected" ]] || fail "$before, '$args': the trace says '$line', wanted '$expected'"
  await "[[ \$(wm_state) == '$after' ]]" || fail "$before, '$args': the window is '$(wm_state)', wanted '$after'"
done <<'CASES'
minimised|quoting.cad|normal active|handoff 1 raised @quoting.cad
minimised|not-a-drawing.txt|normal active|handoff 1 raised @quoting.cad
minimised||iconic hidden|handoff 0 still @quoting.cad
minimised|runs.cad|normal active|handoff 1 raised @runs.cad
covered|plan_with_preview.cad|normal active|handoff 1 raised @plan_with_preview.cad
CASES

if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
