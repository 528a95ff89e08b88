#!/usr/bin/env bash
# cmake --install into a fresh prefix: the program, the plot script and the manual page land
# under it; the installed program tells its version and runs the example, the installed plot
# script draws its summary page, and man renders the page without a warning, listing every
# option that -h lists.
set -euo pipefail
fail() { echo "install_test: $*" >&2; exit 1; }
: "${TARVIX_BUILD_DIR:?}" "${TARVIX_SOURCE_DIR:?}" "${TARVIX_WORK_DIR:?}"
rm -rf "$TARVIX_WORK_DIR"
mkdir -p "$TARVIX_WORK_DIR"
cd "$TARVIX_WORK_DIR"
prefix=$PWD/prefix
ex=$TARVIX_SOURCE_DIR/examples

cmake --install "$TARVIX_BUILD_DIR" --prefix "$prefix" > install.log || fail "cmake --install failed: $(tail -n 3 install.log)"
for f in bin/tarvix++ bin/tarvix-plot share/man/man1/tarvix++.1; do [[ -f $prefix/$f ]] || fail "$f was not installed"; done
[[ -x $prefix/bin/tarvix++ && -x $prefix/bin/tarvix-plot ]] || fail "the programs are not executable"

# The version of the project and the commit it was built from, by either spelling.
version=$(sed -n 's/^project(tarvixpp VERSION \([0-9.]*\) .*/\1/p' "$TARVIX_SOURCE_DIR/CMakeLists.txt")
for flag in --version -version; do
    "$prefix/bin/tarvix++" $flag > version.txt || fail "$flag failed"
    grep -qxE "tarvix\+\+ ${version//./\\.} \(commit ([0-9a-f]{12}(-dirty)?|unknown)\)" version.txt ||
        fail "$flag printed: $(cat version.txt)"
done

# The example, as the README runs it, then its summary page drawn by the installed plot script.
mkdir results
"$prefix/bin/tarvix++" -nrs -gz -i "$ex/cohort0.txt.gz" "$ex/cohort1.txt.gz" -f "$ex/snpinfo.txt" -label_starts \
    -o results/example > example.log || fail "the installed program failed on the example: $(tail -n 3 example.log)"
[[ $(wc -l < results/example_0_mcmc) -eq 12 ]] || fail "the example's call file does not hold 12 SNPs"
"$prefix/bin/tarvix-plot" --prefix results/example -i "$ex/cohort0.txt.gz" "$ex/cohort1.txt.gz" --summary \
    --out results/plots > plot.log || fail "the installed plot script failed: $(tail -n 3 plot.log)"
[[ -s results/plots/overview.png && -s results/plots/summary.png ]] || fail "the installed plot script drew no summary"

# The page renders without a warning and names every option of -h, and man finds it by name.
MANWIDTH=100 man --warnings -l "$prefix/share/man/man1/tarvix++.1" > page.txt 2> man.err || fail "man cannot render the page"
[[ ! -s man.err ]] || fail "man warns: $(head -n 3 man.err)"
grep -q "tarvix++ $version" page.txt || fail "the page does not name version $version"
"$prefix/bin/tarvix++" -h | sed -n 's/^  \(-[^ ]*\).*/\1/p' > options.txt
(($(wc -l < options.txt) > 40)) || fail "-h lists only $(wc -l < options.txt) options"
while read -r option; do
    grep -qE "^ {7}${option//+/\\+}( |,|$)" page.txt || fail "the page does not describe $option"
done < options.txt
[[ $(MANPATH=$prefix/share/man man -w tarvix++) == "$prefix/share/man/man1/tarvix++.1" ]] || fail "man does not find tarvix++"
echo "install_test: ok"
