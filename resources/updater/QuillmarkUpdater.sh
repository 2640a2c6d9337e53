#!/bin/sh
# Runs the updater that lies beside this script with the arguments given and
# ends with its exit code, which the tray program reads.
here=$(dirname "$(readlink -f "$0")")
exec "$here/QuillmarkUpdater" "$@"
