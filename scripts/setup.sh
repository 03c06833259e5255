#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kadenzo need, and only
# those that are missing: nothing is done when all are there. Uses sudo when not root.
set -euo pipefail

packages=(
    cmake g++ make          # the build
    qt6-base-dev            # Qt 6 Core, Widgets and Test, with moc and uic
    fonts-liberation2       # Liberation Sans: Arial's metrics, which the window's layout needs
    clang-format            # the formatting check
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
