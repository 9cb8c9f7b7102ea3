#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with. Idempotent: when every
# package is already there it prints nothing and asks no package server.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev libssl-dev libplist-dev libsecret-1-dev libcpp-httplib-dev libqrencode-dev
  libgtest-dev libgmock-dev libbenchmark-dev curl time
  dbus dbus-bin gnome-keyring libsecret-tools systemd
  libglib2.0-dev libxcb1-dev libxcb-randr0-dev libxcb-res0-dev
  xvfb x11-utils x11-apps x11-xserver-utils imagemagick libglib2.0-bin xclip trayer xdotool fonts-wqy-microhei
  dconf-cli dconf-gsettings-backend dconf-service gsettings-desktop-schemas xfconf libxfconf-0-3
  fonts-wqy-microhei desktop-file-utils xdg-utils appstream lintian
  cinnamon-desktop-data mate-desktop-common pcmanfm-qt
  qt6-wayland sway grim xfdesktop4 feh
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
