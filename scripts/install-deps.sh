#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again:
# when everything is present it does nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libmpg123-dev
  libpulse-dev
  qt6-base-dev
  xvfb xauth imagemagick fonts-dejavu-core desktop-file-utils
  googletest libgtest-dev
  ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
updated=
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  $SUDO apt-get update -qq
  updated=1
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Optional: disc authoring tools that judge the multiplexer's VideoCD, SuperVCD
# and DVD output. The tests that use them skip when they are missing, so a
# failed install here is not an error.
optional=(dvdauthor vcdimager)
optional_missing=()
for p in "${optional[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    optional_missing+=("$p")
  fi
done
if [ ${#optional_missing[@]} -gt 0 ]; then
  echo "Installing (optional): ${optional_missing[*]}" >&2
  if [ -z "$updated" ]; then $SUDO apt-get update -qq || true; fi
  $SUDO apt-get install -y -qq --no-install-recommends "${optional_missing[@]}" >/dev/null ||
    echo "Optional packages not installed: ${optional_missing[*]} (their tests will skip)" >&2
fi
exit 0
