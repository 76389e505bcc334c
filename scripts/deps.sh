#!/usr/bin/env bash
# Installs, non-interactively, whatever build and test packages are missing.
set -euo pipefail
packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libxerces-c-dev libxml2-utils zlib1g-dev sg3-utils
          pkg-config clang-format clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" </dev/null
fi
