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

layer_of_file() {  # src/<layer>/... -> <layer>
  local rel=${1#"$src"/}
  echo "${rel%%/*}"
}

status=0
while IFS= read -r file; do
  own=$(layer_of_file "$file")
  if [[ -z ${rank[$own]+x} ]]; then
    echo "$file: folder '$own' has no place in the layer table of $0" >&2
    status=1
    continue
  fi
  while IFS=: read -r line header; do
    if [[ $header == */* ]]; then
      target=${header%%/*}
    elif [[ $header == kxlib32.h ]]; then
      target=kxlib32.h
    else
      target=$own  # a header beside the file
    fi
    if [[ -z ${rank[$target]+x} ]]; then
      echo "$file:$line: includes \"$header\" of no known layer" >&2
      status=1
    elif (( rank[$target] > rank[$own] )); then
      echo "$file:$line: $own (layer ${rank[$own]}) includes \"$header\" from $target (layer ${rank[$target]})" >&2
      status=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
             sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

if (( status == 0 )); then echo "layer check: every include of $src goes down or sideways"; fi
exit $status
