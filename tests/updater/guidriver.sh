#!/bin/sh
# guidriver.sh PROGRAM [ARGS...]
# Runs under xvfb-run: starts the program and, like a user with the keyboard,
# presses Return (or the key named in GUIDRIVER_KEY) in its "Updater" window
# every half second until it ends; exits with the program's exit code.
# Return clicks the dialog's default button (OK) whenever it is shown.
"$@" &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^Updater$' | head -n 1)
tries=0
while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 60 ]; do
    sleep 0.5
    xdotool windowfocus --sync "$window" key "${GUIDRIVER_KEY:-Return}" 2>/dev/null
    tries=$((tries + 1))
done
wait "$pid"
