// Fixed-seed runs whose result files must stay byte for byte as committed under expected/.
// After a deliberate change of results, tests/golden/update.sh rewrites them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "../schedule/program_run.hpp"

namespace {

using namespace program_run;

struct golden_run {
    std::string name;
    std::vector<std::string> args;
};

std::vector<golden_run> read_runs()
{
    std::vector<golden_run> runs;
    for (const std::string& line : lines_of(read_file(source_file("tests/golden/runs.txt")))) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) throw std::runtime_error("runs.txt: no name in: " + line);
        runs.push_back({line.substr(0, colon), fields_of(line.substr(colon + 1))});
    }
    return runs;
}

// Where two texts first differ, as "line N" and both lines, shortened for the report.
std::string first_difference(const std::string& expected, const std::string& actual)
{
    const std::vector<std::string> e = lines_of(expected), a = lines_of(actual);
    const auto shorten = [](const std::string& s) { return s.size() > 160 ? s.substr(0, 160) + "..." : s; };
    for (std::size_t l = 0; l < std::max(e.size(), a.size()); ++l) {
        const std::string el = l < e.size() ? e[l] : "<none>", al = l < a.size() ? a[l] : "<none>";
        if (el != al)
            return "line " + std::to_string(l + 1) + "\n  expected: " + shorten(el) + "\n  actual:   " + shorten(al);
    }
    return "line ends or final newline";
}

TEST(Golden, FixedSeedRunsWriteTheCommittedFiles)
{
    const std::vector<golden_run> runs = read_runs();
    ASSERT_EQ(runs.size(), 2u);
    for (const golden_run& run_spec : runs) {
        const fs::path expected_dir = source_file("tests/golden/expected/" + run_spec.name);
        ASSERT_TRUE(fs::is_directory(expected_dir)) << expected_dir << " is missing: run tests/golden/update.sh";
        scratch s;
        fs::create_directory_symlink(source_file("examples"), s.work() / "examples");
        std::vector<std::string> args = run_spec.args;
        args.insert(args.end(), {"-o", "golden"});
        const result r = run(s, args);
        ASSERT_EQ(r.status, 0) << run_spec.name << ": " << r.err;

        std::set<std::string> written = listing(s.work());
        written.erase("examples");
        const std::set<std::string> expected = listing(expected_dir);
        EXPECT_EQ(written, expected) << run_spec.name;
        for (const std::string& f : expected) {
            if (written.count(f) == 0) continue;
            const std::string want = read_file(expected_dir / f), got = read_file(s.work() / f);
            EXPECT_TRUE(want == got) << run_spec.name << "/" << f << " differs at " << first_difference(want, got);
        }
    }
}

}  // namespace
