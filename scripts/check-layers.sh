#!/usr/bin/env bash
# The layer check: fails when a file under src/ includes a header of a layer above its
# own. Each folder of src/ is one layer; a file may include headers of its own layer and
# of the layers below it (a layer of the same rank counts as beside it, not above).
#   scripts/check-layers.sh [source-dir]     (default: src of this checkout)
set -euo pipefail
cd "$(dirname "$0")/.."
src=${1:-src}

# Bottom to top. wire holds leaf helpers that include nothing of the library, so every
# layer (the platform layer too) may use them. kxlib32.h, the public header, is the
# contract the session layer and everything above implement; the platform layer stays
# below it and has its own types.
declare -A rank=(
  [wire]=0
  [platform]=1
  [session]=2 [kxlib32.h]=2
  [compress]=3
  [link]=4 [usb]=4
  [services]=5
  [card]=6 [convert]=6
  [download]=7
  [exports]=8
)

# The layer of a file is the first folder of its path below src/ ("" for a file in src/).
layer_of() {
  local rel=${1#"$src"/}
  [[ $rel == */* ]] && layer=${rel%%/*} || layer=""
}

known() { [[ -n $1 && -n ${rank[$1]+x} ]]; }

status=0
while IFS= read -r file; do
  layer_of "$file"
  if ! known "$layer"; then
    echo "$file: folder '$layer' has no place in the layer table of $0" >&2
    status=1
  fi
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

# Every include line as file:line:header, in one pass over the tree.
while IFS=: read -r file line header; do
  layer_of "$file"
  own=$layer
  known "$own" || continue  # reported above
  if [[ $header == */* ]]; then
    target=${header%%/*}
  elif [[ $header == kxlib32.h ]]; then
    target=kxlib32.h
  else
    target=$own  # a header beside the file
  fi
  if ! known "$target"; then
    echo "$file:$line: includes \"$header\" of no known layer" >&2
    status=1
  elif (( rank[$target] > rank[$own] )); then
    echo "$file:$line: $own (layer ${rank[$own]}) includes \"$header\" from $target (layer ${rank[$target]})" >&2
    status=1
  fi
done < <(grep -rn --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src" |
           sed 's/^\([^:]*\):\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2:\3/' | sort)

if (( status == 0 )); then echo "layer check: every include of $src goes down or sideways"; fi
exit $status
