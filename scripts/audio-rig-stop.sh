#!/usr/bin/env bash
# audio-rig-stop.sh - stops the PulseAudio server that audio-rig-start.sh started.
# Signals only the process id it recorded, and only while that process's command line
# still names this rig's script file; nothing is killed by name. Removes the /etc files
# the start script wrote for this rig (AURELIX_AUDIO_RIG_KEEP_ETC=1 keeps them).
# Exits 0 when no rig server is left (also when none ran).
set -euo pipefail

rig_dir=${AURELIX_AUDIO_RIG_DIR:-/tmp/aurelix-audio-rig}
socket=$rig_dir/native
pid_file=$rig_dir/server.pid
marker="# aurelix audio rig"

if [ ! -d "$rig_dir" ]; then
  echo "audio-rig: not running"
  exit 0
fi
exec 8>"$rig_dir.lock"
flock -w 60 8

is_our_server() {
  local pid=$1
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ] || return 1
  tr '\0' '\n' <"/proc/$pid/cmdline" | grep -qxF -- "--file=$rig_dir/server.pa"
}

pid=$(cat "$pid_file" 2>/dev/null || true)
if is_our_server "$pid"; then
  kill -TERM "$pid"
  for _ in $(seq 50); do is_our_server "$pid" || break; sleep 0.1; done
  if is_our_server "$pid"; then
    echo "audio-rig: pid $pid still runs 5 s after SIGTERM; sending SIGKILL" >&2
    kill -KILL "$pid" || true
    for _ in $(seq 20); do is_our_server "$pid" || break; sleep 0.1; done
  fi
  if is_our_server "$pid"; then
    echo "audio-rig: pid $pid does not stop" >&2
    exit 1
  fi
  echo "audio-rig: stopped pid $pid"
else
  echo "audio-rig: not running${pid:+ (pid $pid is gone or not ours)}"
fi
rm -rf "$rig_dir/runtime" "$socket" "$pid_file"

if [ "${AURELIX_AUDIO_RIG_KEEP_ETC:-0}" != 1 ]; then
  for file in /etc/asound.conf /etc/pulse/client.conf.d/90-aurelix-audio-rig.conf; do
    if grep -qF "$marker" "$file" 2>/dev/null && grep -qF "unix:$socket" "$file"; then
      rm -f "$file"
    fi
  done
fi
