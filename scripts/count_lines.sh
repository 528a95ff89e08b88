#!/usr/bin/env bash
# The size of the test suite against the code it tests: non-blank lines of tests/ and fuzz/
# against those of src/, scripts/, workflow/ and bench/ (C++, Python, shell, the Snakefile and
# the plot script). Fails when the tests are more than a third of all code.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' -o -name '*.cc' -o -name '*.py' -o -name '*.sh' \
        -o -name Snakefile -o -name tarvix-plot \) -print0 | xargs -0 cat | grep -c -v -E '^[[:space:]]*$'
}
tests=$(count tests fuzz)
code=$(count src scripts workflow bench)
echo "non-blank lines: tests and fuzz targets $tests, other code $code;" \
    "tests are $((100 * tests / (tests + code)))% of all code (at most 33%)"
if ((3 * tests > tests + code)); then
    echo "the tests are more than a third of all code" >&2
    exit 1
fi
