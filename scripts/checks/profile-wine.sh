#!/usr/bin/env bash
# Profile reads of the Linux host against Wine's (tests/profile-wine/run.sh).
# usage: scripts/checks/profile-wine.sh BUILD_ROOT
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
exec "$ROOT/tests/profile-wine/run.sh" "${1:-$ROOT/build}/linux" "${1:-$ROOT/build}/profile-wine"
