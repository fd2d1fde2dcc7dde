#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program from outside: --help and --version, a bad option, no display,
# and SIGTERM / SIGINT / SIGHUP ending a running game with its settings saved.
# Usage: program_test.sh MAROVANE WORK_DIR
set -u
game="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

out="$("$game" --help 2>&1)"; rc=$?
[ $rc -eq 0 ] || fail "--help exit $rc"
grep -q "^Usage: marovane" <<<"$out" || fail "--help text: $out"
out="$("$game" --version 2>&1)"; rc=$?
[ $rc -eq 0 ] || fail "--version exit $rc"
grep -Eq "^marovane [0-9]+\.[0-9]+" <<<"$out" || fail "--version text: $out"
out="$("$game" --bogus 2>&1)"; rc=$?
[ $rc -eq 2 ] || fail "unknown option exit $rc"
grep -q 'unknown option "--bogus"' <<<"$out" || fail "unknown option text: $out"

# No display and no driver asked for: a clear message, soon, and failure.
start=$(now_ms)
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
  timeout 10 "$game" --config "$work/nodisplay.cfg" 2>&1)"; rc=$?
took=$(( $(now_ms) - start ))
[ $rc -ne 0 ] && [ $rc -ne 124 ] || fail "no display: exit $rc"
[ $took -lt 2000 ] || fail "no display: took $took ms"
grep -q "no display: set DISPLAY or use --headless" <<<"$out" || fail "no display text: $out"

# A signal ends a running game within a second, exit 0, settings written.
run_and_signal() {  # MODE SIGNAL
  local mode=$1 sig=$2 cfg="$work/$1-$2.cfg" pid t0 took rc i
  if [ "$mode" = headless ]; then
    "$game" --headless --realtime --frames 100000 --config "$cfg" 2>"$work/$mode-$sig.err" &
  else
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$game" --config "$cfg" 2>"$work/$mode-$sig.err" &
  fi
  pid=$!
  for i in $(seq 100); do [ -s "$cfg" ] && break; sleep 0.05; done
  sleep 0.3
  [ -s "$cfg" ] || fail "$mode $sig: the game did not start"
  rm -f "$cfg"
  t0=$(now_ms)
  kill -"$sig" $pid
  for i in $(seq 200); do kill -0 $pid 2>/dev/null || break; sleep 0.01; done
  took=$(( $(now_ms) - t0 ))
  kill -KILL $pid 2>/dev/null
  wait $pid; rc=$?
  [ $rc -eq 0 ] || fail "$mode $sig: exit $rc"
  [ $took -lt 1000 ] || fail "$mode $sig: took $took ms"
  [ "$(stat -c %s "$cfg" 2>/dev/null)" = 244 ] || fail "$mode $sig: settings not saved"
  echo "$mode $sig: ended in $took ms, exit $rc"
}
for sig in TERM INT HUP; do
  run_and_signal headless $sig
  run_and_signal window $sig
done

[ $fails -eq 0 ] && echo "all good" && exit 0
exit 1
