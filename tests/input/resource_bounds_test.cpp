// What the readers hold before they find bad input: absurd headers, endless lines and huge side
// files stop with a clear error at bounded memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "input/intensity_file.hpp"
#include "input/side_files.hpp"
#include "input_test_files.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

using input_test::console_capture;
using input_test::temp_dir;
using testing::HasSubstr;

namespace {

constexpr std::size_t mib = std::size_t{1} << 20;

// Message of the run_error that read_data throws; fails the test when it throws none.
std::string read_error(data& d)
{
    console_capture console;
    try {
        d.read_data();
    } catch (const run_error& e) {
        return e.what();
    }
    ADD_FAILURE() << "read_data accepted the input";
    return {};
}

// A gzip file of `mebibytes` MiB of 'a' without any newline, about 1 KiB per 1000 MiB: one
// MiB compressed after a full flush is byte-aligned and independent of what came before, so it
// is repeated as it stands.
void write_endless_line(const std::string& name, int mebibytes)
{
    const std::vector<unsigned char> block(mib, 'a');
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<unsigned char> packed(deflateBound(&z, mib) + 64);
    z.next_in = const_cast<unsigned char*>(block.data());
    z.avail_in = static_cast<uInt>(block.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    ASSERT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
    packed.resize(packed.size() - z.avail_out);
    deflateEnd(&z);

    uLong crc = crc32(0, Z_NULL, 0);
    const uLong block_crc = crc32(0, block.data(), static_cast<uInt>(block.size()));
    std::ofstream out(name, std::ios::binary);
    const unsigned char header[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    for (int k = 0; k < mebibytes; ++k) {
        out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
        crc = crc32_combine(crc, block_crc, static_cast<z_off_t>(mib));
    }
    // A final empty fixed-Huffman block, then the checksum and the length modulo 2^32.
    const unsigned char last[2] = {0x03, 0x00};
    out.write(reinterpret_cast<const char*>(last), sizeof last);
    const unsigned long size = static_cast<unsigned long>(mebibytes) * mib;
    for (unsigned long v : {static_cast<unsigned long>(crc), size})
        for (int b = 0; b < 4; ++b)
            out.put(static_cast<char>((v >> (8 * b)) & 0xff));
    ASSERT_TRUE(out.flush());
}

// The peak resident memory, in bytes, from /proc/self/status.
std::size_t peak_resident_bytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kib = 0;
    while (status >> key)
        if (key == "VmHWM:" && status >> kib)
            return kib * 1024;
    return 0;
}

TEST(ResourceBounds, GzipStreamOfOneEndlessLineStopsAtBoundedMemory)
{
    temp_dir dir;
    const std::string name = dir.file("bomb.txt.gz");
    write_endless_line(name, 1024);   // 1 GiB once decompressed, 1 MiB on disk
    // Writing 5 resets the peak to the present resident size (Linux 4.0 and later).
    std::ofstream("/proc/self/clear_refs") << "5";
    const std::size_t before = peak_resident_bytes();
    ASSERT_GT(before, 0u);

    data d;
    d.input_files = {name};
    d.gz = true;
    EXPECT_EQ(read_error(d), name + ":1: line 1 is longer than 67108864 bytes, the most a header line may hold");
    // The buffer grows by doubling to the limit plus one byte: 64 MiB held, 32 MiB being copied.
    const std::size_t peak = peak_resident_bytes() - before;
    EXPECT_LT(peak, 256 * mib) << "peak resident memory grew by " << peak / mib << " MiB";
}

// Intensities of one SNP line, the first field padded so that the line is `bytes` long.
std::string snp_line_of_length(std::size_t bytes, int n)
{
    std::string tail = " rs1 100 A G";
    for (int i = 0; i < 2 * n; ++i)
        tail += " 0.5";
    return std::string(bytes - tail.size(), 's') + tail;
}

TEST(ResourceBounds, SnpLinesAreLimitedByTheAnnouncedIndividuals)
{
    temp_dir dir;
    const std::string header = "SNP_ID rs pos A B x1 y1 x2 y2\n";
    const std::size_t limit = 64 * 1024 + 2 * 64 * 2;   // text fields, then 64 bytes per intensity
    data accepted;
    accepted.input_files = {dir.write("fits.txt", header + snp_line_of_length(limit, 2) + "\n")};
    {
        console_capture console;
        accepted.read_data();
    }
    ASSERT_EQ(accepted.n_snps, 1);
    EXPECT_EQ(accepted.snps[0].SNP_ID.size(), limit - 28);

    // Refused in the first pass, which only counts the lines, and without a final newline too.
    for (const char* end : {"\n", ""}) {
        data refused;
        refused.input_files = {dir.write("long.txt", header + snp_line_of_length(limit + 1, 2) + end)};
        EXPECT_EQ(read_error(refused), refused.input_files[0] + ":2: line 2 is longer than " + std::to_string(limit) +
                                           " bytes, the most a SNP line of 2 individuals may need");
    }
    // Refused in a later cohort, whose lines only the second pass reads, where the SNP range
    // skips the line without looking inside it.
    const std::string short_line = snp_line_of_length(100, 2) + "\n";
    data skipped;
    skipped.first_snp = 2;
    skipped.input_files = {dir.write("first.txt", header + short_line + short_line),
                           dir.write("second.txt", header + snp_line_of_length(limit + 1, 2) + "\n" + short_line)};
    EXPECT_EQ(read_error(skipped), skipped.input_files[1] + ":2: line 2 is longer than " + std::to_string(limit) +
                                       " bytes, the most a SNP line of 2 individuals may need");
}

TEST(ResourceBounds, ShortLineAfterAHeaderOfManyIndividualsReservesLittle)
{
    temp_dir dir;
    const int n = 200000;
    std::string text = "SNP_ID rs pos A B";
    for (int i = 0; i < n; ++i)
        text += " a b";
    text += "\nS1 rs1 100 A G 0.5 0.5\n";
    data d;
    d.input_files = {dir.write("claims.txt", text)};
    EXPECT_THAT(read_error(d), HasSubstr(":2: expected 400000 intensities, found 2"));
    // What the failing line reserved stays with the record: bounded by the line's length
    // (an individual takes at least four bytes), not by the 200000 individuals announced.
    ASSERT_EQ(d.snps.size(), 1u);
    EXPECT_LE(d.snps[0].points[0].capacity(), 16u);
}

TEST(ResourceBounds, SideFileLinesAreLimited)
{
    temp_dir dir;
    constexpr std::size_t limit = 16 * mib;
    std::string codes;
    codes.reserve(limit + 2);
    while (codes.size() < limit)
        codes += "1 ";
    codes.resize(limit);   // exactly the limit: "1 " repeated

    const auto sex_codes = [&](const std::string& text) {
        std::ifstream in(dir.write("sex.txt", text), std::ios::binary);
        std::array<int, 3> counts{};
        return input::read_sex_codes(in, dir.file("sex.txt"), counts).size();
    };
    EXPECT_EQ(sex_codes("2\n" + codes + "\n0"), limit / 2 + 2);
    try {
        sex_codes("2\n" + codes + "1\n");
        ADD_FAILURE() << "a sex file line of 16 MiB and one byte was accepted";
    } catch (const run_error& e) {
        EXPECT_EQ(std::string(e.what()), dir.file("sex.txt") +
                                             ":2: line 2 is longer than 16777216 bytes, the most a line of a sex file may hold");
    }

    input::snp_info_reader info(dir.write("info.txt", "rs1 S1 1:5 A/G 0.5\nrs2 S2 1:6 A/G 0.25 " + codes));
    std::string key;
    double prior = 0;
    info.next(key, prior);
    EXPECT_EQ(key, "rs1");
    try {
        info.next(key, prior);
        ADD_FAILURE() << "a SNP information line of more than 16 MiB was accepted";
    } catch (const run_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("info.txt:2: line 2 is longer than 16777216 bytes"));
    }
}

}  // namespace
