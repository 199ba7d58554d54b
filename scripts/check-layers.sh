#!/usr/bin/env bash
# Keeps the layering true: every top-level folder is one layer, and a source
# file includes only headers of its own folder and of folders below it.
# Includes are by file name (each library exports its folder), so a header is
# located by searching the layers for its name.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Bottom-up; keep in step with the README's layout table.
layers=(sim src analysis config session measurement remote resources widgets plots app tools python)

declare -A rank owner
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

# Where each header lives; a name defined in two layers is itself an error.
status=0
while IFS= read -r h; do
  top=${h%%/*}; name=${h##*/}
  if [[ -n ${owner[$name]:-} && ${owner[$name]} != "$top" ]]; then
    echo "layers: header $name exists in ${owner[$name]}/ and $top/" >&2; status=1
  fi
  owner[$name]=$top
done < <(for l in "${layers[@]}"; do [ -d "$l" ] && find "$l" -name '*.h'; done)

# A new folder with sources must take its place in the list above.
for d in */; do
  d=${d%/}
  case " ${layers[*]} tests bench fuzz cmake docs examples scripts " in *" $d "*) continue ;; esac
  [[ $d == build* ]] && continue
  if find "$d" \( -name '*.h' -o -name '*.cpp' \) -print -quit | grep -q .; then
    echo "layers: folder $d/ holds sources but is not in the layer list" >&2; status=1
  fi
done

checked=0
while IFS= read -r f; do
  top=${f%%/*}; mine=${rank[$top]}
  while IFS= read -r line; do
    no=${line%%:*}; inc=${line#*:}
    inc=${inc#*\"}; inc=${inc%%\"*}; name=${inc##*/}
    [ -n "${owner[$name]:-}" ] || continue   # system, Qt, Qwt or generated
    theirs=${rank[${owner[$name]}]}
    if (( theirs > mine )); then
      echo "$f:$no: includes $name from ${owner[$name]}/, a layer above $top/" >&2
      status=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$f" || true)
  checked=$((checked + 1))
done < <(for l in "${layers[@]}"; do [ -d "$l" ] && find "$l" \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \); done)

if (( status == 0 )); then
  echo "layers: $checked files include only from their own layer or below (${layers[*]})"
fi
exit $status
