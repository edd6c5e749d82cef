#!/usr/bin/env bash
# The x86_64 Quillon.exe under Wine: window, screenshot, Escape, work directory.
# usage: scripts/checks/wine-smoke.sh BUILD_ROOT
exec "$(dirname "$0")/../wine-smoke.sh" "$@"
