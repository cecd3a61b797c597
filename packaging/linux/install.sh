#!/bin/sh
# Installs this bundle for the current user; no root is needed for the app.
#
#   ./install.sh              install (or replace) the app, register its menu
#                             entry and the zorvik:// and tsd-auth:// links
#   ./install.sh --with-deps  also install the missing Debian runtime packages
#                             (apt-get, through sudo unless run as root)
#   ./install.sh --uninstall  remove the app, its entry and its links (the
#                             user's data stays)
#
# The app goes to $XDG_DATA_HOME/com.quennix.zorvik-mobile/app (override with
# ZORVIK_INSTALL_ROOT): versions/<version>/ holds each version, "current" names
# the one that starts. A new version is copied beside the old one and switched
# in with one rename, as the app's own updates do.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
data=${XDG_DATA_HOME:-$HOME/.local/share}
root=${ZORVIK_INSTALL_ROOT:-$data/com.quennix.zorvik-mobile/app}
entry=com.quennix.zorvik-mobile.desktop
apps="$data/applications"
icon="$data/icons/hicolor/128x128/apps/com.quennix.zorvik-mobile.png"
bin="$HOME/.local/bin/zorvik"

mode=install
case "${1:-}" in
  "") ;;
  --with-deps) mode=deps ;;
  --uninstall) mode=uninstall ;;
  *) echo "install.sh: unknown argument $1" >&2; exit 2 ;;
esac

if [ "$mode" = uninstall ]; then
  rm -rf "$root"
  rm -f "$apps/$entry" "$icon"
  [ -L "$bin" ] && rm -f "$bin"
  command -v update-desktop-database >/dev/null 2>&1 && update-desktop-database "$apps" 2>/dev/null || true
  echo "install.sh: removed $root"
  exit 0
fi

# Debian runtime packages the app needs.
missing=""
for p in $(cat "$here/DEPENDS"); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  if [ "$mode" = deps ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing
  else
    echo "install.sh: the app needs these Debian packages:$missing" >&2
    echo "install.sh: install them with: sudo apt-get install$missing (or run ./install.sh --with-deps)" >&2
  fi
fi

version=$(cat "$here/VERSION")
mkdir -p "$root/versions"
stage=$(mktemp -d "$root/versions/.unpack-XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp -R "$here/." "$stage/"
target="$root/versions/$version"
n=2
while [ -e "$target" ] || [ -L "$target" ]; do target="$root/versions/$version.$n"; n=$((n + 1)); done
mv "$stage" "$target"
previous=""
[ -L "$root/current" ] && previous=$(basename "$(readlink "$root/current")")
link="$root/.current-$$"
ln -s "versions/$(basename "$target")" "$link"
mv -T "$link" "$root/current"
# Older versions go; the one that was current may still run and stays.
for old in "$root/versions"/*; do
  b=$(basename "$old")
  [ "$b" = "$(basename "$target")" ] || [ "$b" = "$previous" ] || rm -rf "$old"
done

mkdir -p "$HOME/.local/bin" "$apps" "$(dirname "$icon")"
ln -sfn "$root/current/zorvik" "$bin"
cp "$here/icons/128x128.png" "$icon"
exe="$root/current/zorvik"
sed -e "s|@EXEC@|$(printf '%s' "$exe" | sed 's/[|&\\]/\\&/g')|" -e '/^Exec=/a Icon=com.quennix.zorvik-mobile' \
  "$here/$entry.in" > "$apps/$entry"
if command -v gio >/dev/null 2>&1; then
  gio mime x-scheme-handler/zorvik "$entry" >/dev/null 2>&1 || true
  gio mime x-scheme-handler/tsd-auth "$entry" >/dev/null 2>&1 || true
fi
command -v update-desktop-database >/dev/null 2>&1 && update-desktop-database "$apps" 2>/dev/null || true
echo "install.sh: Зорвик $version installed in $root"
echo "install.sh: start it from the menu, or run $exe"
