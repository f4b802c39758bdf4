#!/usr/bin/env bash
# The Windows host under Wine, seen from the Linux reference client over 127.0.0.1: it
# answers discovery, "hello" and "window_list_request" (listing a window of another Wine
# process), refuses streams as a PC without a supported GPU does, and ends cleanly on
# WM_CLOSE and on Ctrl-Break. Run by ctest from scripts/test-windows (Wine's environment
# set); exit 77 (skipped) when the Linux client is not built.
#   host-under-wine.sh HOST_EXE HELPER_EXE
set -uo pipefail
host_exe=$1 helper_exe=$2
client=${LUMIVANE_LINUX_CLIENT:-}
if [ -z "$client" ] || [ ! -x "$client" ]; then
  echo "SKIPPED: the Linux lumivane-client is not built (LUMIVANE_LINUX_CLIENT='$client')"
  exit 77
fi
# The host serves on the default ports, discovery on UDP 9877: one such test at a time.
# (A network namespace would not do: Wine's sockets are made by the wineserver.)
if [ -z "${LV_9877_LOCKED:-}" ]; then
  exec env LV_9877_LOCKED=1 flock /tmp/lumivane-9877.lock bash "$0" "$@"
fi
wine=/usr/lib/wine/wine64
work=$(mktemp -d /tmp/lumivane-wine-host.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The client's own waits are bounded; this bounds the start-up of Wine and the host.
client_until_up() {
  local i
  for i in $(seq 1 60); do
    "$client" "$@" && return 0
    sleep 1
  done
  return 1
}

"$wine" "$helper_exe" window >"$work/window.out" 2>&1 &
pids+=($!)
"$wine" "$host_exe" >"$work/host.log" 2>&1 &
host_pid=$!
pids+=($host_pid)

if client_until_up discover --host 127.0.0.1 --timeout 1000 --json >"$work/discover.json" 2>&1; then
  grep -q '"event":"discovered"' "$work/discover.json" || fail "no discovered event: $(cat "$work/discover.json")"
  grep -q '"port":9876' "$work/discover.json" || fail "discovery names another port: $(cat "$work/discover.json")"
else
  fail "no answer to discovery on 127.0.0.1 within 60 s"
fi

"$client" list --host 127.0.0.1 --json >"$work/list.json" 2>&1 || fail "list failed: $(cat "$work/list.json")"
grep -q '"event":"welcome"' "$work/list.json" || fail "no welcome"
grep -q '"hostName":"Lumivane Host"' "$work/list.json" || fail "welcome without the host's name"
grep -q '"title":"Lumivane Wine Window é"' "$work/list.json" || fail "the Wine window is not listed (UTF-8 title): $(cat "$work/list.json")"
grep -q '"processName":"lumivane-wine-helper.exe"' "$work/list.json" || fail "the Wine window's process is not named"

"$client" stream --host 127.0.0.1 --title "Lumivane Wine Window" --seconds 2 >"$work/stream.out" 2>&1
status=$?
[ "$status" -eq 5 ] || fail "stream: exit status $status, not 5 (refused): $(cat "$work/stream.out")"
grep -q "No hardware encoders available" "$work/host.log" || fail "no \"No hardware encoders available\" in the host's log"
grep -q "Failed to create any hardware encoder" "$work/host.log" || fail "no \"Failed to create any hardware encoder\" in the host's log"

# WM_CLOSE: the shutdown sequence to its end. (wine64's own status is no guide: Wine may
# end a process's last threads with SIGKILL after ExitProcess; the helper below reads the
# Windows exit code.)
"$wine" "$helper_exe" close 30 || fail "could not post WM_CLOSE to the host's window"
if timeout 60 tail --pid="$host_pid" -f /dev/null; then
  grep -q "Lumivane Host exiting" "$work/host.log" || fail "after WM_CLOSE no \"Lumivane Host exiting\""
else
  fail "the host did not end within 60 s of WM_CLOSE"
fi

# Ctrl-Break through the console, as Ctrl-C in the console the host was started from; where
# Wine cannot send it, WM_CLOSE again. Either way the host's exit code must be 0.
"$wine" "$helper_exe" break 60 "$(winepath -w "$host_exe" 2>/dev/null)" >"$work/break.out" 2>&1
status=$?
cat "$work/break.out"
if [ "$status" -eq 77 ]; then
  echo "(WM_CLOSE was tested; only the console's event is skipped)"
elif [ "$status" -ne 0 ]; then
  fail "Ctrl-Break: helper exit status $status"
fi

if [ "$failures" -gt 0 ]; then
  echo "--- host log"; tail -n 60 "$work/host.log"
  exit 1
fi
echo "the host under Wine: discovery, hello/welcome, window list, refused stream, WM_CLOSE: passed"
