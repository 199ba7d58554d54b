#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
set -euo pipefail
pkgs=(cmake g++ make qtbase5-dev libqt5svg5-dev libqwt-qt5-dev fonts-dejavu-core xvfb xauth python3 clang libclang-rt-14-dev libhdf5-dev hdf5-tools python3-numpy python3-pandas python3-matplotlib python3-h5py python3-xarray python3-setuptools python3-wheel python3-pip python3-venv pybind11-dev python3-pybind11 python3-dask python3-distributed)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "${missing[@]}"
fi
