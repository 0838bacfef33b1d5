#!/usr/bin/env bash
# Installs the Debian packages Jacketeer needs to build, test and run.
# Only what is missing is installed, so a second run costs almost nothing.
# Packages are installed without their recommendations, so everything needed
# is named here: libwmf draws metafile text only with fonts-urw-base35, and
# the Help command opens the manual through xdg-open (xdg-utils).
set -euo pipefail

JKT_PACKAGES=(
  build-essential cmake ninja-build pkg-config clang
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libjpeg62-turbo-dev libgif-dev libtiff-dev libpng-dev libfontconfig-dev
  libwmf-dev libemf2svg-dev libtag1-dev liblcms2-dev
  libwebp-dev libheif-dev libde265-0 libdav1d6 libjxl-dev
  fonts-liberation fonts-dejavu-core fonts-urw-base35 xdg-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils
  desktop-file-utils appstream shared-mime-info
)

jkt_install() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

jkt_install_deps() { jkt_install "${JKT_PACKAGES[@]}"; }
