#!/usr/bin/env bash
# audio-rig-start.sh - a real sound path for machines without sound hardware (CI).
#
# Starts a private PulseAudio server and points ALSA at it:
#   aurelix_sink           null sink, clocked in real time; what is played lands here
#   aurelix_sink.monitor   the capture source: it hears what aurelix_sink plays
#   aurelix_keeper         a second null sink fed by a loopback from the monitor; a reader
#                          that is always there keeps the first capture block from taking
#                          seconds to arrive
# ALSA devices (in /etc/asound.conf, only if that file is absent or ours):
#   default            capture = the monitor, playback = the sink
#   aurelix_capture    the monitor          aurelix_playback    the sink
# PulseAudio clients (paplay, parec, pactl) find the server through
# /etc/pulse/client.conf.d/90-aurelix-audio-rig.conf.
#
# Idempotent: with the server already healthy it only checks it again.
# Environment: AURELIX_AUDIO_RIG_DIR (default /tmp/aurelix-audio-rig), AURELIX_AUDIO_RIG_RATE
# (44100), AURELIX_AUDIO_RIG_NO_INSTALL=1 skips the package step, AURELIX_AUDIO_RIG_ETC=0
# leaves /etc alone (then: . "$AURELIX_AUDIO_RIG_DIR/env" and use the ALSA device "pulse").
# Prints "audio rig ready ..." and exits 0 once capture through ALSA works.
set -euo pipefail

rig_dir=${AURELIX_AUDIO_RIG_DIR:-/tmp/aurelix-audio-rig}
rate=${AURELIX_AUDIO_RIG_RATE:-44100}
socket=$rig_dir/native
pid_file=$rig_dir/server.pid
marker="# aurelix audio rig"
packages=(alsa-utils libasound2-dev libasound2-plugins pulseaudio pulseaudio-utils sox)
started_at=$(date +%s%N)

say() { echo "audio-rig: $*" >&2; }

# -- packages ------------------------------------------------------------------------
if [ "${AURELIX_AUDIO_RIG_NO_INSTALL:-0}" != 1 ]; then
  missing=()
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=300 update -qq
    "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
fi

mkdir -p "$rig_dir"
exec 8>"$rig_dir.lock"   # one start or stop at a time
flock -w 60 8

# True when $1 is a live process started from this rig's script file.
is_our_server() {
  local pid=$1
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ] || return 1
  tr '\0' '\n' <"/proc/$pid/cmdline" | grep -qxF -- "--file=$rig_dir/server.pa"
}

# True when the server answers and has every module the rig needs.
healthy() {
  local modules
  modules=$(pactl --server="unix:$socket" list short modules 2>/dev/null) || return 1
  grep -q 'module-null-sink.*sink_name=aurelix_sink ' <<<"$modules" &&
    grep -q 'module-loopback.*source=aurelix_sink.monitor ' <<<"$modules"
}

# -- configuration files ------------------------------------------------------------------
cat >"$rig_dir/asound.conf" <<EOF
$marker (socket $socket)
pcm.!default {
    type pulse
    server "unix:$socket"
    hint { show on description "Audio rig (PulseAudio)" }
}
ctl.!default {
    type pulse
    server "unix:$socket"
}
pcm.aurelix_capture {
    type pulse
    server "unix:$socket"
    device "aurelix_sink.monitor"
    hint { show on description "Audio rig capture (monitor)" }
}
pcm.aurelix_playback {
    type pulse
    server "unix:$socket"
    device "aurelix_sink"
    hint { show on description "Audio rig playback (sink)" }
}
EOF
cat >"$rig_dir/client.conf" <<EOF
$marker
default-server = unix:$socket
autospawn = no
EOF
echo "export PULSE_SERVER=unix:$socket" >"$rig_dir/env"

# Installs $1 as $2 unless $2 exists and another tool wrote it.
install_config() {
  if [ -e "$2" ] && ! grep -qF "$marker" "$2"; then
    say "$2 is not ours; left as it is"
    return 0
  fi
  cmp -s "$1" "$2" || install -D -m 0644 "$1" "$2"
}
if [ "${AURELIX_AUDIO_RIG_ETC:-1}" = 1 ]; then
  install_config "$rig_dir/asound.conf" /etc/asound.conf
  install_config "$rig_dir/client.conf" /etc/pulse/client.conf.d/90-aurelix-audio-rig.conf
fi

# -- server ------------------------------------------------------------------------------
old_pid=$(cat "$pid_file" 2>/dev/null || true)
if is_our_server "$old_pid" && healthy; then
  say "already running (pid $old_pid)"
else
  if is_our_server "$old_pid"; then
    say "restarting pid $old_pid: it does not answer or misses modules"
    kill -TERM "$old_pid" 2>/dev/null || true
    for _ in $(seq 50); do is_our_server "$old_pid" || break; sleep 0.1; done
    if is_our_server "$old_pid"; then kill -KILL "$old_pid" 2>/dev/null || true; fi
  fi
  rm -rf "$rig_dir/runtime" "$socket" "$pid_file"
  install -d -m 0700 "$rig_dir/runtime" "$rig_dir/home"
  cat >"$rig_dir/server.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$socket
load-module module-null-sink sink_name=aurelix_sink rate=$rate channels=2 sink_properties=device.description=AurelixSink
load-module module-null-sink sink_name=aurelix_keeper rate=$rate channels=2 sink_properties=device.description=AurelixKeeper
load-module module-loopback source=aurelix_sink.monitor sink=aurelix_keeper latency_msec=10 source_dont_move=true sink_dont_move=true
set-default-sink aurelix_sink
set-default-source aurelix_sink.monitor
EOF
  # -n: none of the system's default.pa (no udev, dbus or saved state). --daemonize returns
  # once the script file is loaded; runtime and state stay inside the rig folder.
  if ! env -u PULSE_SERVER XDG_RUNTIME_DIR="$rig_dir/runtime" HOME="$rig_dir/home" \
      XDG_CONFIG_HOME="$rig_dir/home" pulseaudio -n --file="$rig_dir/server.pa" \
      --daemonize=yes --use-pid-file=yes --exit-idle-time=-1 --no-cpu-limit=yes \
      --log-target="file:$rig_dir/server.log" </dev/null >/dev/null 2>&1; then
    say "pulseaudio did not start:"
    tail -n 20 "$rig_dir/server.log" >&2 || true
    exit 1
  fi
  cp "$rig_dir/runtime/pulse/pid" "$pid_file"
fi

# -- readiness ----------------------------------------------------------------------------
for _ in $(seq 100); do healthy && break; sleep 0.1; done
healthy || { say "the server does not answer on $socket"; exit 1; }
device=default
if [ "${AURELIX_AUDIO_RIG_ETC:-1}" != 1 ] || ! grep -qF "$marker (socket $socket)" /etc/asound.conf 2>/dev/null; then
  device=pulse
fi
if ! PULSE_SERVER="unix:$socket" timeout 10 arecord -q -D "$device" -f S16_LE -r 8000 -c 1 -s 400 /dev/null; then
  say "capture through the ALSA device '$device' does not work"
  exit 1
fi
elapsed_ms=$(( ($(date +%s%N) - started_at) / 1000000 ))
echo "audio rig ready: pid $(cat "$pid_file"), socket $socket, ALSA device '$device' (${elapsed_ms} ms)"
