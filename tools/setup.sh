#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need, only those missing.
# Quiet and idempotent when everything is present; apt-get update runs only when something is missing.
set -e
PACKAGES="build-essential cmake ninja-build pkg-config
libsdl2-dev libstb-dev libflac-dev libmpg123-dev libvorbis-dev libxxhash-dev
libsndfile1-dev libopusfile-dev libopenexr-dev libwebp-dev libpng-dev libjpeg62-turbo-dev libgif-dev
opencl-headers ocl-icd-opencl-dev libclfft-dev pocl-opencl-icd fonts-dejavu-core
libgtest-dev libbenchmark-dev libfftw3-dev clang libclang-rt-14-dev
flac lame vorbis-tools opus-tools sox libsox-fmt-all imagemagick libtiff-tools python3-pil
xvfb xauth xdotool x11-utils xclip groff ghostscript poppler-utils desktop-file-utils appstream-util ccache"

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done
[ -z "$missing" ] && exit 0

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
echo "Installing missing packages:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
