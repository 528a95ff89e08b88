#!/usr/bin/env bash
# Regenerates the expected files of the golden test from a built program:
#     tests/golden/update.sh build/tarvix++
# Run it only after a deliberate change of results, and review the difference before committing.
set -euo pipefail
if [ $# -ne 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 PATH_TO_tarvix++" >&2
    exit 2
fi
binary=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

while IFS= read -r line; do
    case "$line" in '' | '#'*) continue ;; esac
    name=${line%%:*}
    read -r -a arguments <<< "${line#*:}"
    rm -rf "$scratch/run"
    mkdir "$scratch/run"
    ln -s "$source_dir/examples" "$scratch/run/examples"
    if ! (cd "$scratch/run" && "$binary" "${arguments[@]}" -o golden > "$scratch/console.txt"); then
        echo "$name: the run failed; console output:" >&2
        tail -n 20 "$scratch/console.txt" >&2
        exit 1
    fi
    rm -rf "$here/expected/$name"
    mkdir -p "$here/expected/$name"
    cp "$scratch/run"/golden_* "$here/expected/$name/"
    echo "$name: $(cd "$here/expected/$name" && echo *)"
done < "$here/runs.txt"
