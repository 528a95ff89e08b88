// What the readers hold before they find bad input: an endless line, lines longer than the
// announced individuals can need, a header announcing many more individuals than a line holds,
// and long side-file lines stop with an error at bounded memory.
#include <gtest/gtest.h>

#include <boost/iostreams/device/file.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <fstream>
#include <string>

#include "../support.hpp"
#include "read_input.hpp"
#include "state/error.hpp"

namespace {

using support::write_file;
constexpr std::size_t mib = std::size_t{1} << 20;

std::string read_error(input_run& d)
{
    support::console_capture console;
    try {
        d.read();
    } catch (const run_error& e) {
        return e.what();
    }
    return "no error";
}

std::size_t peak_resident_bytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kib = 0;
    while (status >> key)
        if (key == "VmHWM:" && status >> kib) return kib * 1024;
    return 0;
}

// The intensities of one SNP line, its first field padded to make the line `bytes` long.
std::string snp_line_of_length(std::size_t bytes)
{
    const std::string tail = " rs1 100 A G 0.5 0.5 0.5 0.5";
    return std::string(bytes - tail.size(), 's') + tail;
}

}  // namespace

TEST(ResourceBounds, EndlessGzipLineStopsAtBoundedMemory)
{
    support::scratch s;
    const std::string name = s.file("endless.txt.gz");
    {
        namespace io = boost::iostreams;
        io::filtering_ostream out;   // 384 MiB of one line, 1.7 MiB on disk
        out.push(io::gzip_compressor(io::gzip_params(1)));
        out.push(io::file_sink(name, std::ios::binary));
        const std::string block(mib, 'a');
        for (int k = 0; k < 384; ++k) out << block;
    }
    std::ofstream("/proc/self/clear_refs") << "5";   // resets the peak to the present size
    const std::size_t before = peak_resident_bytes();
    input_run d;
    d.cfg.input_files = {name}, d.cfg.gz = true;
    EXPECT_EQ(read_error(d), name + ":1: line 1 is longer than 67108864 bytes, the most a header line may hold");
    // The buffer doubles up to the limit plus one byte (64 MiB held, 32 MiB being copied; the
    // sanitizers keep the freed buffers a while); holding the whole line would take 640 MiB.
    EXPECT_LT(peak_resident_bytes() - before, 256 * mib);
}

TEST(ResourceBounds, LinesLongerThanTheirContentCanNeed)
{
    support::scratch s;
    const std::string header = "SNP_ID rs pos A B x1 y1 x2 y2\n";
    const std::size_t limit = 64 * 1024 + 2 * 64 * 2;   // the text fields, then 64 bytes per intensity
    input_run fits;
    fits.cfg.input_files = {write_file(s.work() / "fits.txt", header + snp_line_of_length(limit) + "\n")};
    EXPECT_EQ(read_error(fits), "no error");
    const std::string too_long = ":2: line 2 is longer than " + std::to_string(limit) + " bytes, the most a SNP line of 2 individuals may need";
    for (const char* end : {"\n", ""}) {
        input_run d;
        d.cfg.input_files = {write_file(s.work() / "long.txt", header + snp_line_of_length(limit + 1) + end)};
        EXPECT_EQ(read_error(d), d.cfg.input_files[0] + too_long);
    }
    // In a later cohort, on a line the SNP range skips without looking inside it.
    const std::string short_line = snp_line_of_length(100) + "\n";
    input_run skipped;
    skipped.cfg.first_snp = 2;
    skipped.cfg.input_files = {write_file(s.work() / "a.txt", header + short_line + short_line),
                           write_file(s.work() / "b.txt", header + snp_line_of_length(limit + 1) + "\n" + short_line)};
    EXPECT_EQ(read_error(skipped), skipped.cfg.input_files[1] + too_long);
    // A header announcing 50000 individuals is believed only once its first SNP line holds as
    // many intensities; a later line of one reserved room for what it could hold.
    std::string claims = "SNP_ID rs pos A B", full = "S1 rs1 100 A G";
    for (int i = 0; i < 50000; ++i) claims += " a b", full += " 1 2";
    input_run d;
    d.cfg.input_files = {write_file(s.work() / "claims.txt", claims + "\nS1 rs1 100 A G 0.5 0.5\n")};
    EXPECT_EQ(read_error(d), d.cfg.input_files[0] + ":2: expected 100000 intensities, found 2");
    d.cfg.input_files = {write_file(s.work() / "claims.txt", claims + "\n" + full + "\nS2 rs2 101 A G 0.5 0.5\n")};
    EXPECT_EQ(read_error(d), d.cfg.input_files[0] + ":3: expected 100000 intensities, found 2");
    EXPECT_LE(d.snps[1].points[0].capacity(), 16u);
    // Sex and SNP information lines: at most 16 MiB.
    std::string codes;
    while (codes.size() < 16 * mib) codes += "1 ";
    input_run sexes;
    sexes.cfg.chrX = true;
    sexes.cfg.input_files = {write_file(s.work() / "c.txt", header + snp_line_of_length(100) + "\n")};
    sexes.cfg.sex_files = {write_file(s.work() / "sex.txt", "2\n" + codes + "1\n")};
    EXPECT_EQ(read_error(sexes), sexes.cfg.sex_files[0] + ":2: line 2 is longer than 16777216 bytes, the most a line of a sex file may hold");
    input_run info;
    info.cfg.input_files = sexes.cfg.input_files;
    info.cfg.snp_info_file = write_file(s.work() / "info.txt", "rs1 S1 1:5 A/G 0.5 " + codes + "\n");
    EXPECT_EQ(read_error(info), info.cfg.snp_info_file + ":1: line 1 is longer than 16777216 bytes, the most a line of a SNP information file may hold");
}
