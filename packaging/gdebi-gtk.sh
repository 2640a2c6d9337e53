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

if command -v gdebi-gtk >/dev/null 2>&1; then
    exec gdebi-gtk "$package"
elif command -v gnome-software >/dev/null 2>&1; then
    exec gnome-software --local-filename="$package"
elif command -v plasma-discover >/dev/null 2>&1; then
    exec plasma-discover "$package"
else
    exec pkexec apt-get install --yes "$package"
fi
