#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12. As root it runs
# apt-get; otherwise it names the missing packages and stops.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git clang
  qtbase5-dev qtwebengine5-dev libqt5webengine5
  libspdlog-dev libfmt-dev liblzf-dev libsqlite3-dev libssl-dev
  libgtest-dev libgmock-dev
  xvfb xauth fonts-wqy-microhei desktop-file-utils
  libx11-dev libxi-dev qttranslations5-l10n
  # what the tests check our output with: compositor, input, clipboard,
  # trash, session bus, autostart generator, gio, local HTTP service, X screens,
  # block sharing (a btrfs image)
  xcompmgr xdotool xclip trash-cli dbus dbus-x11 systemd libglib2.0-bin btrfs-progs
  python3 python3-httpbin iproute2 pkexec x11-utils
  # the Debian package: its icons drawn, and Debian's own checks of it
  librsvg2-bin dpkg-dev lintian appstream
)
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
if [ "${1:-}" = "--bench" ]; then
  packages+=(fdupes jdupes rmlint openssl bleachbit)
fi
if [ "${1:-}" = "--bench" ]; then
  packages+=(gdu ncdu) # beside the space map
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
