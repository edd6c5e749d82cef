#!/usr/bin/env bash
# The zip reader's harness for N seconds (scripts/fuzz.sh zip).
#   scripts/fuzz-zip.sh [SECONDS] [BUILD_DIR]      (defaults: 30, ./build/fuzz)
exec "$(dirname "$0")/fuzz.sh" zip "${1:-30}" "${2:-$(cd "$(dirname "$0")/.." && pwd)/build/fuzz}"
