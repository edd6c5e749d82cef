#!/usr/bin/env bash
# Every #include of the product folders points down the layer table
# (docs/architecture.md); prints file:line for any that does not. First makes
# sure the checker still catches a planted upward and a sideways include.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
CHECK="$ROOT/scripts/check_layers.py"

plant=$(mktemp -d); trap 'rm -rf "$plant"' EXIT
mkdir -p "$plant/core" "$plant/nvme" "$plant/app"
printf '// fine\n#include "platform/os.h"\n#include "app/update_worker.h"\n' >"$plant/core/planted.cpp"
printf '#include "sata/ata_command.h"\n' >"$plant/nvme/planted.h"
printf '#include "nvme/transport.h"\n#include "sata/ata_command.h"\n' >"$plant/app/fine.cpp"
if out=$(python3 "$CHECK" "$plant"); then
  echo "layers: the checker passed a tree with planted offending includes"; exit 1
fi
grep -q '^core/planted.cpp:3: ' <<<"$out" && grep -q '^nvme/planted.h:1: ' <<<"$out" &&
  ! grep -q '^app/' <<<"$out" || { echo "layers: the checker named the wrong lines:"; echo "$out"; exit 1; }

exec python3 "$CHECK" "$ROOT"
