#!/usr/bin/env bash
# Every #include of the product folders points down the layer table
# (docs/architecture.md); prints file:line for any that does not.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
exec python3 "$ROOT/scripts/check_layers.py" "$ROOT"
