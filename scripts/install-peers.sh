#!/usr/bin/env bash
# Installs the FidoNet software the integration test runs pelix against
# (the mailer binkd, the tosser crashmail and the JAM news server jamnntpd),
# only what is missing.
set -euo pipefail
packages=(binkd crashmail jamnntpd)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Another apt run holding the package lock is waited for, not failed on.
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    if apt-get -o DPkg::Lock::Timeout=60 update -qq &&
       apt-get -o DPkg::Lock::Timeout=60 install -y -qq --no-install-recommends "${missing[@]}"; then
      exit 0
    fi
    sleep 10
  done
  exit 1
fi
