// Expected-output tests: every run of runs.txt, made in an empty folder, must write exactly the
// committed files of expected/<name>/ (its result files, and its standard output, standard
// error and exit status as "stdout", "stderr", "status"), byte for byte. Failing runs are
// expected output too: one line on standard error, and the earlier result planted before every
// run ("golden_params") left as it was.
// After a deliberate change of results: TARVIX_UPDATE_GOLDEN=1 build/tests/tarvix_tests
// --gtest_filter='Golden*', then review the difference before committing it on its own.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../support.hpp"

namespace {

using namespace support;

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
        // The detailed console output, whether or not the standard output is a terminal.
        runs.push_back({line.substr(0, colon), fields_of("-verbose " + line.substr(colon + 1))});
    }
    return runs;
}

// Where two texts first differ: the line number and both lines, shortened.
std::string first_difference(const std::string& expected, const std::string& actual)
{
    const std::vector<std::string> e = lines_of(expected), a = lines_of(actual);
    const auto cut = [](const std::string& s) { return s.size() > 160 ? s.substr(0, 160) + "..." : s; };
    for (std::size_t l = 0; l < std::max(e.size(), a.size()); ++l) {
        const std::string el = l < e.size() ? e[l] : "<none>", al = l < a.size() ? a[l] : "<none>";
        if (el != al) return "line " + std::to_string(l + 1) + "\n  expected: " + cut(el) + "\n  actual:   " + cut(al);
    }
    return "line ends or final newline";
}

void PrintTo(const golden_run& g, std::ostream* os) { *os << g.name; }

class Golden : public testing::TestWithParam<golden_run> {};

TEST_P(Golden, RunWritesTheCommittedFiles)
{
    const golden_run& g = GetParam();
    scratch s;
    fs::create_directory_symlink(source_file("examples"), s.work() / "examples");
    fs::create_directory_symlink(source_file("tests/golden/inputs"), s.work() / "inputs");
    write_file(s.work() / "golden_params", "an earlier result\n");
    const result r = run(s, g.args);

    std::map<std::string, std::string> written = {
        {"stdout", r.out}, {"stderr", r.err}, {"status", std::to_string(r.status) + "\n"}};
    for (const std::string& f : listing(s.work()))
        if (f != "examples" && f != "inputs") written[f] = read_file(s.work() / f);

    const fs::path expected_dir = source_file("tests/golden/expected/" + g.name);
    if (std::getenv("TARVIX_UPDATE_GOLDEN") != nullptr) {
        fs::remove_all(expected_dir);
        fs::create_directories(expected_dir);
        for (const auto& [name, content] : written) write_file(expected_dir / name, content);
        return;
    }
    ASSERT_TRUE(fs::is_directory(expected_dir)) << expected_dir << " is missing";
    const std::set<std::string> expected = listing(expected_dir);
    std::set<std::string> names;
    for (const auto& entry : written) names.insert(entry.first);
    EXPECT_EQ(names, expected);
    for (const std::string& f : expected) {
        if (written.count(f) == 0) continue;
        const std::string want = read_file(expected_dir / f);
        EXPECT_TRUE(want == written[f]) << g.name << "/" << f << " differs at " << first_difference(want, written[f]);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Golden, testing::ValuesIn(read_runs()),
                         [](const testing::TestParamInfo<golden_run>& info) { return info.param.name; });

}  // namespace
