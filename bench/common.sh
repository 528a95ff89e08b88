# Set-up shared by the bench scripts that simulate data and convert it with bcftools; sourced.

# bench_setup SCRIPT TARVIX SIMULATE: stops (status 2) unless both programs run and bcftools is
# there, and sets $work to a temporary folder removed when the script exits.
bench_setup() {
    local script=$1 exe
    shift
    for exe in "$@"; do
        [[ -x $exe ]] || { echo "$script: not an executable: $exe" >&2; exit 2; }
    done
    command -v bcftools > /dev/null || { echo "$script: bcftools is needed" >&2; exit 2; }
    work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_${script%.sh}.XXXXXX")
    trap 'rm -rf "$work"' EXIT
}

# wall_seconds COMMAND...: runs the command, its output discarded, and prints its wall seconds.
wall_seconds() {
    local start
    start=$(date +%s.%N)
    "$@" > /dev/null 2>&1
    awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.2f", b - a}'
}
