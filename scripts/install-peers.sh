#!/usr/bin/env bash
# Installs the FidoNet software the integration test runs pelix against
# (the mailer binkd, the tosser crashmail and the JAM news server jamnntpd),
# only what is missing.
set -euo pipefail
exec bash "$(dirname "$0")/install-deps.sh" binkd crashmail jamnntpd
