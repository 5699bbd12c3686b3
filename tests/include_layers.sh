#!/usr/bin/env bash
# The product's folders include one way only, each from those below it:
# launcher, installer, common, picture, resources. A quoted include names a
# file of its own folder or, through "../", of a lower one.
# Usage: include_layers.sh SOURCE_ROOT
set -euo pipefail
root=$1
layers=(resources picture common installer launcher)
rank() {
    local i
    for i in "${!layers[@]}"; do
        [ "${layers[$i]}" != "$1" ] || { echo "$i"; return; }
    done
    echo -1
}
bad=0
for folder in "${layers[@]}"; do
    own=$(rank "$folder")
    while IFS=: read -r file line text; do
        target=$(sed -n 's/^#include "\(.*\)"/\1/p' <<<"$text")
        case "$target" in
        ../*/*)
            to=${target#../}
            to=${to%%/*}
            [ "$(rank "$to")" -ge 0 ] && [ "$(rank "$to")" -lt "$own" ] && [ -f "$root/$to/${target#../*/}" ] ||
                { echo "$file:$line: $folder includes $target"; bad=1; }
            ;;
        */*) echo "$file:$line: $target: name another folder through ../"; bad=1 ;;
        *) [ -f "$root/$folder/$target" ] || { echo "$file:$line: $target is not in $folder/"; bad=1; } ;;
        esac
    done < <(cd "$root" && grep -Hn '^#include "' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
[ "$bad" -eq 0 ] && echo "includes run one way: ${layers[*]}"
exit "$bad"
