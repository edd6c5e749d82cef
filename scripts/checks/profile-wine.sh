#!/usr/bin/env bash
# Profile reads of the Linux host against Wine's (tests/profile-wine/run.sh).
# usage: scripts/checks/profile-wine.sh BUILD_ROOT
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_ROOT=${1:-$ROOT/build}
exec "$ROOT/tests/profile-wine/run.sh" "$BUILD_ROOT/linux" "$BUILD_ROOT/profile-wine"
