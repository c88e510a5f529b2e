#!/bin/bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent and quiet: does nothing when everything is already installed.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  # clang for the fuzzing build (scripts/fuzz.sh); its libFuzzer runtime is
  # only a recommendation of clang, so it is named here.
  clang libclang-rt-14-dev
  libicu-dev libgumbo-dev libc-ares-dev libssl-dev openssl ca-certificates libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nginx-light wget python3 python3-jieba time
  qt6-base-dev fonts-wqy-microhei xvfb xdotool
  chromium
  dpkg-dev lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
