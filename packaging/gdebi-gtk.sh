#!/bin/sh
# Hands a downloaded Quillmark package to the desktop's package installer.
# The updater starts this script detached with the package path as its only
# argument. The first installer found wins; without any, apt-get installs the
# file after the desktop's administrator authentication.
set -eu

if [ "$#" -ne 1 ]; then
    echo "usage: $0 <package.deb>" >&2
    exit 2
fi
case "$1" in
    *.deb) ;;
    *) echo "$0: not a Debian package: $1" >&2; exit 2 ;;
esac
if [ ! -f "$1" ]; then
    echo "$0: no such file: $1" >&2
    exit 2
fi
# apt-get takes a local file only by a path with a slash in it.
package=$(readlink -f -- "$1")

# gdebi-gtk and apt-get have read the package when they return: it goes
# then, so that no copy waits under the user's name for another installer
# run. The software centres hand the file to a running instance and return
# at once; their copy stays until the next update empties the directory.
status=0
if command -v gdebi-gtk >/dev/null 2>&1; then
    gdebi-gtk "$package" || status=$?
elif command -v gnome-software >/dev/null 2>&1; then
    exec gnome-software --local-filename="$package"
elif command -v plasma-discover >/dev/null 2>&1; then
    exec plasma-discover "$package"
else
    pkexec apt-get install --yes "$package" || status=$?
fi
rm -f -- "$package"
exit "$status"
