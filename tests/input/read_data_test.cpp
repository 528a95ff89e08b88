// Reading intensity, SNP information and sex files into the run state.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "input_test_files.hpp"
#include "input/sample_ids.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

using input_test::console_capture;
using input_test::intensity_text;
using input_test::packing;
using input_test::temp_dir;
using testing::HasSubstr;

namespace {

// Runs read_data with the console captured; returns standard output.
std::string read(data& d, std::string* err = nullptr)
{
    console_capture console;
    d.read_data();
    if (err != nullptr)
        *err = console.err();
    return console.out();
}

void expect_same_records(const data& a, const data& b)
{
    ASSERT_EQ(a.n_snps, b.n_snps);
    EXPECT_EQ(a.n_individuals, b.n_individuals);
    EXPECT_EQ(a.n_file_individuals, b.n_file_individuals);
    for (std::size_t s = 0; s < a.snps.size(); ++s) {
        const snp& x = a.snps[s];
        const snp& y = b.snps[s];
        EXPECT_EQ(x.SNP_ID, y.SNP_ID);
        EXPECT_EQ(x.rs, y.rs);
        EXPECT_EQ(x.position, y.position);
        EXPECT_EQ(x.allele1, y.allele1);
        EXPECT_EQ(x.allele2, y.allele2);
        EXPECT_EQ(x.prior_allele_freq, y.prior_allele_freq);
        EXPECT_EQ(x.points, y.points);
        EXPECT_EQ(x.cohort_index, y.cohort_index);
        EXPECT_EQ(x.missing, y.missing);
    }
}

}  // namespace

TEST(ReadData, PlainGzipAndBzip2GiveIdenticalRecords)
{
    temp_dir dir;
    data plain;
    plain.input_files = {dir.write("c1.txt", intensity_text(4, 3)), dir.write("c2.txt", intensity_text(4, 5))};
    read(plain);
    // The records hold exactly the file's values.
    ASSERT_EQ(plain.n_snps, 4);
    EXPECT_EQ(plain.n_cohorts, 2);
    EXPECT_EQ(plain.n_individuals, (std::vector<int>{3, 5}));
    EXPECT_EQ(plain.n_file_individuals, (std::vector<int>{3, 5}));
    const snp& s = plain.snps[1];
    EXPECT_EQ(s.SNP_ID, "snp2");
    EXPECT_EQ(s.rs, "rs2");
    EXPECT_EQ(s.position, "00200");
    EXPECT_EQ(s.allele1, "A");
    EXPECT_EQ(s.allele2, "G");
    EXPECT_EQ(s.prior_allele_freq, -1);
    ASSERT_EQ(s.points.size(), 2u);
    ASSERT_EQ(s.points[1].size(), 5u);
    EXPECT_EQ(s.points[1][4], (xy{2.5, 3.0}));
    EXPECT_EQ(s.cohort_index[1], (std::vector<int>(5, 1)));
    EXPECT_EQ(s.cohort_index[0], (std::vector<int>(3, 0)));
    EXPECT_EQ(s.missing, (std::vector<std::vector<int>>{{}, {}}));

    struct variant {
        packing p;
        const char* suffix;
        bool gz, bz2;
    };
    const variant variants[] = {{packing::gzip, ".gz", true, false},
                                {packing::bzip2, ".bz2", false, true},
                                {packing::bzip2_of_gzip, ".gz.bz2", true, true}};
    for (const variant& v : variants) {
        SCOPED_TRACE(v.suffix);
        data d;
        d.gz = v.gz;
        d.bz2 = v.bz2;
        d.input_files = {dir.write(std::string("c1.txt") + v.suffix, intensity_text(4, 3), v.p),
                         dir.write(std::string("c2.txt") + v.suffix, intensity_text(4, 5), v.p)};
        read(d);
        expect_same_records(plain, d);
    }
}

TEST(ReadData, ConsoleMessagesInOrder)
{
    temp_dir dir;
    data d;
    d.chrX = true;
    d.input_files = {dir.write("c1.txt", intensity_text(2, 2))};
    d.sex_files = {dir.write("sex1.txt", "1 2")};
    d.snp_info_file = dir.write("info.txt", "rs1 a b c 0.25\nrsX a b c NA\n");
    const std::string out = read(d);
    EXPECT_EQ(out, "setting precision\nreading data\nassuming X chromosome mode\n # snps = 2\n"
                   " snp range 1-2\n cohort 0 # ind = 2\nreading file " +
                       d.sex_files[0] +
                       "\n # males = 1\t# females = 1\t# unknown 0\n"
                       " reading file : " +
                       d.input_files[0] +
                       "\n\r snp [1/2] read SNP information \n\r snp [2/2] read SNP information \n"
                       "MISMATCH!!!!!\nrsX rs2\n\n..done\n");
    EXPECT_EQ(std::cout.precision(), 6);   // restored by the capture; read_data had set 10
    EXPECT_EQ(d.snps[0].prior_allele_freq, 0.25);
    EXPECT_EQ(d.snps[1].prior_allele_freq, -1);
}

TEST(ReadData, HeaderLayouts)
{
    temp_dir dir;
    const std::string line = "snp1 rs1 10 A G 1 2 3 4\n";
    struct header_case {
        const char* header;
        int individuals;
    };
    const header_case cases[] = {
        {"a b c d e x1 y1 x2 y2\n", 2},         {"a b c d e x1 y1 x2 y2  \t \n", 2},
        {"a b c d e x1 y1 x2 y2\r\n", 2},       {"a b c d e x1 y1 x2 y2 \r\n", 2},
        {"a b c d e x1 y1 x2 y2 x3\n", 2},      {"\ta  b c d e\tx1 y1 x2 y2\n", 2},
    };
    for (const header_case& c : cases) {
        SCOPED_TRACE(c.header);
        data d;
        d.input_files = {dir.write("h.txt", std::string(c.header) + line)};
        read(d);
        EXPECT_EQ(d.n_individuals[0], c.individuals);
        ASSERT_EQ(d.n_snps, 1);
        EXPECT_EQ(d.snps[0].points[0], (std::vector<xy>{{1, 2}, {3, 4}}));
    }
    // An odd token count rounds down; CRLF SNP lines read like LF ones.
    data d;
    d.input_files = {dir.write("odd.txt", "a b c d e x1 y1 x2\r\nsnp1 rs1 10 A G 1 2\r\nsnp2 rs2 11 A G 5 6\r\n")};
    const std::string out = read(d);
    EXPECT_THAT(out, HasSubstr(" cohort 0 # ind = 1\n"));
    ASSERT_EQ(d.n_snps, 2);
    EXPECT_EQ(d.snps[1].allele2, "G");
    EXPECT_EQ(d.snps[1].points[0], (std::vector<xy>{{5, 6}}));
}

TEST(ReadData, LastLineWithoutNewlineAndTrailingBlankLines)
{
    temp_dir dir;
    std::string text = intensity_text(3, 2);
    text.pop_back();
    const std::string variants[] = {text, text + "\n\n", text + "\n  \t\r\n\n", text + "\n \t"};
    for (const packing p : {packing::plain, packing::gzip}) {
        for (const std::string& t : variants) {
            data d;
            d.gz = p == packing::gzip;
            d.input_files = {dir.write("c.txt", t, p)};
            const std::string out = read(d);
            EXPECT_THAT(out, HasSubstr(" # snps = 3\n"));
            ASSERT_EQ(d.n_snps, 3);
            EXPECT_EQ(d.snps[2].SNP_ID, "snp3");
            EXPECT_EQ(d.snps[2].points[0], (std::vector<xy>{{3, 3.5}, {3.125, 3.625}}));
        }
    }
}

TEST(ReadData, SnpRangeNormalisation)
{
    temp_dir dir;
    const std::string file = dir.write("ten.txt", intensity_text(10, 2));
    struct range_case {
        int first, last, want_first, want_last;
    };
    const range_case cases[] = {{-1, -1, 1, 10}, {0, 0, 1, 10}, {5, 3, 5, 10}, {3, 42, 3, 10},
                                {2, 4, 2, 4},    {10, 10, 10, 10}, {-7, 2, 1, 2}};
    for (const range_case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " " + std::to_string(c.last));
        data d;
        d.input_files = {file};
        d.snp_info_file = dir.write("info.txt", [] {
            std::string t;
            for (int k = 1; k <= 10; ++k)
                t += "rs" + std::to_string(k) + " x y z 0." + std::to_string(k) + "\n";
            return t;
        }());
        d.first_snp = c.first;
        d.last_snp = c.last;
        const std::string out = read(d);
        EXPECT_EQ(d.first_snp, c.want_first);
        EXPECT_EQ(d.last_snp, c.want_last);
        ASSERT_EQ(d.n_snps, c.want_last - c.want_first + 1);
        ASSERT_EQ(d.snps.size(), static_cast<std::size_t>(d.n_snps));
        EXPECT_THAT(out, HasSubstr(" snp range " + std::to_string(c.want_first) + "-" + std::to_string(c.want_last) + "\n"));
        EXPECT_THAT(out, testing::Not(HasSubstr("MISMATCH")));
        for (int s = 0; s < d.n_snps; ++s) {
            const int k = c.want_first + s;
            EXPECT_EQ(d.snps[s].SNP_ID, "snp" + std::to_string(k));
            EXPECT_EQ(d.snps[s].points[0][0], (xy{double(k), k + 0.5}));
            EXPECT_EQ(d.snps[s].prior_allele_freq, std::stod("0." + std::to_string(k)));
        }
    }
}

TEST(ReadData, MissingIntensities)
{
    temp_dir dir;
    data d;
    d.input_files = {dir.write("m1.txt", "h h h h h a a b b c c d d\n"
                                         "s1 r1 1 A G 1 2 NaN 4 5 6 7 8\n"
                                         "s2 r2 2 A G 1 na 3 4 NA nAn 7 8\n"
                                         "s3 r3 3 A G nan NA na NaN Na NAN nA NaN\n"),
                     dir.write("m2.txt", "h h h h h a a\ns1 r1 1 A G 0.5 0.25\ns2 r2 2 A G 1e-3 +2E2\n"
                                         "s3 r3 3 A G -0 .5\n")};
    read(d);
    ASSERT_EQ(d.n_snps, 3);
    EXPECT_EQ(d.n_individuals, (std::vector<int>{4, 1}));
    EXPECT_EQ(d.n_file_individuals, (std::vector<int>{4, 1}));
    const std::vector<std::vector<xy>> points0 = {{{1, 2}, {5, 6}, {7, 8}}, {{3, 4}, {7, 8}}, {}};
    const std::vector<std::vector<int>> missing0 = {{1}, {0, 2}, {0, 1, 2, 3}};
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        EXPECT_EQ(d.snps[s].points[0], points0[s]);
        EXPECT_EQ(d.snps[s].missing[0], missing0[s]);
        EXPECT_EQ(d.snps[s].cohort_index[0], std::vector<int>(points0[s].size(), 0));
        EXPECT_TRUE(d.snps[s].missing[1].empty());
        EXPECT_EQ(d.snps[s].cohort_index[1], std::vector<int>(1, 1));
    }
    EXPECT_EQ(d.snps[1].points[1][0], (xy{1e-3, 200}));
    EXPECT_EQ(d.snps[2].points[1][0], (xy{0, 0.5}));
}

TEST(ReadData, SexFilesInXMode)
{
    temp_dir dir;
    data d;
    d.chrX = true;
    d.input_files = {dir.write("c1.txt", intensity_text(1, 4)), dir.write("c2.txt", intensity_text(1, 3))};
    d.sex_files = {dir.write("s1.txt", "1 2\n\n 0\t1"), dir.write("s2.txt", "2\n2\n+2\n")};
    const std::string out = read(d);
    EXPECT_EQ(d.sex, (std::vector<std::vector<int>>{{1, 2, 0, 1}, {2, 2, 2}}));
    EXPECT_EQ(d.sex_counts[0], (std::array<int, 3>{1, 2, 1}));
    EXPECT_EQ(d.sex_counts[1], (std::array<int, 3>{0, 0, 3}));
    EXPECT_THAT(out, HasSubstr(" # males = 0\t# females = 3\t# unknown 0\n"));
}

TEST(ReadData, SampleIdentifiersFromHeaderPairs)
{
    temp_dir dir;
    data d;
    const std::string rest = " 1 2 3 4 5 6 7 8 9 10\n";
    d.input_files = {dir.write("c1.txt", "SNP_ID rs pos A B NA06985A NA06985B s12_X s12_Y p q NA06985A NA06985B x.a x.b\n"
                                         "s1 rs1 10 A G" + rest),
                     dir.write("c2.txt", "a b c d e s12_X s12_Y t1_x t1_y\ns1 rs1 10 A G 1 2 3 4\n")};
    std::string err;
    read(d, &err);
    EXPECT_EQ(d.sample_ids, (std::vector<std::vector<std::string>>{
                                {"NA06985", "s12", "p", "NA06985_2", "x"}, {"s12_2", "t1"}}));
    EXPECT_EQ(err, "warning: " + d.input_files[0] +
                       ": individual 4 has the identifier NA06985 of an earlier individual; it is called NA06985_2 "
                       "in the results\nwarning: " + d.input_files[1] +
                       ": individual 1 has the identifier s12 of an earlier individual; it is called s12_2 in the "
                       "results\n");

    // Stems: only a last A/B or X/Y in order makes a pair; one separator is dropped from the stem.
    const std::pair<std::pair<const char*, const char*>, const char*> stems[] = {
        {{"ab", "ab"}, "ab"},     {{"idA", "idB"}, "id"},   {{"idB", "idA"}, "idB"},  {{"id_a", "id_b"}, "id"},
        {{"id-X", "id-Y"}, "id"}, {{"id__X", "id__Y"}, "id_"}, {{"A", "B"}, "A"},     {{"_A", "_B"}, "_"},
        {{"idA", "jdB"}, "idA"},  {{"idA", "idAB"}, "idA"}, {{"idx", "idY"}, "idx"},  {{"s.1.x", "s.1.y"}, "s.1"},
    };
    for (const auto& [pair, stem] : stems)
        EXPECT_EQ(input::sample_id_of(pair.first, pair.second), stem) << pair.first << " " << pair.second;

    // A suffix never collides with a name that is already taken.
    std::vector<std::vector<std::string>> ids{{"a", "a", "a_2"}, {"a"}};
    const auto renamed = input::make_unique_ids(ids);
    EXPECT_EQ(ids, (std::vector<std::vector<std::string>>{{"a", "a_3", "a_2"}, {"a_4"}}));
    ASSERT_EQ(renamed.size(), 2u);
    EXPECT_EQ(renamed[1].cohort, 1);
    EXPECT_EQ(renamed[1].column, 0);
}

TEST(ReadData, PositionsMustBePositiveIntegersForVcf)
{
    temp_dir dir;
    for (const char* bad : {"0", "-5", "12.5", "1e3", "abc", "2147483648"}) {
        data d;
        d.write_vcf = true;
        d.input_files = {dir.write("c.txt", std::string("SNP_ID rs pos A B ia ib\ns1 rs1 7 A G 1 2\nsnpX rs2 ") + bad +
                                                " A G 1 2\n")};
        try {
            read(d);
            ADD_FAILURE() << bad << ": no error";
        } catch (const run_error& e) {
            EXPECT_THAT(e.what(), HasSubstr("c.txt:3: SNP snpX: position '" + std::string(bad) +
                                            "' is not a positive integer, which -vcf needs"));
        }
    }
    data d;
    d.input_files = {dir.write("c.txt", "SNP_ID rs pos A B ia ib\ns1 rs1 chr1:7 A G 1 2\n")};
    read(d);
    EXPECT_EQ(d.snps[0].position, "chr1:7");
}

TEST(ReadData, PositionsMustAscendForVcf)
{
    temp_dir dir;
    const std::string text = "SNP_ID rs pos A B ia ib\ns1 rs1 7 A G 1 2\ns2 rs2 7 A G 1 2\ns3 rs3 6 A G 1 2\n";
    data d;
    d.write_vcf = true;
    d.input_files = {dir.write("c.txt", text)};
    try {
        read(d);
        ADD_FAILURE() << "no error";
    } catch (const run_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("c.txt:4: SNP s3: position 6 is below the position 7 of the SNP before it; "
                                        "-vcf needs ascending positions"));
    }
    // Equal positions are fine, and without -vcf the order does not matter.
    data equal;
    equal.write_vcf = true;
    equal.first_snp = 1;
    equal.last_snp = 2;
    equal.input_files = {dir.write("c.txt", text)};
    read(equal);
    data any;
    any.input_files = {dir.write("c.txt", text)};
    read(any);
    EXPECT_EQ(any.snps[2].position, "6");
}

TEST(ReadData, SnpIdDifferenceIsWarnedAndLastCohortWins)
{
    temp_dir dir;
    data d;
    d.input_files = {dir.write("c1.txt", intensity_text(3, 1)), dir.write("c2.txt", intensity_text(3, 1, "id", "j"))};
    d.first_snp = 2;
    std::string err;
    read(d, &err);
    EXPECT_EQ(err, "warning: " + d.input_files[1] + ":3: SNP_ID id2 differs from snp2 in " + d.input_files[0] +
                       "\nwarning: " + d.input_files[1] + ":4: SNP_ID id3 differs from snp3 in " +
                       d.input_files[0] + "\n");
    EXPECT_EQ(d.snps[0].SNP_ID, "id2");
}

TEST(ReadData, BadInputEndsWithANamedError)
{
    temp_dir dir;
    const std::string good = intensity_text(3, 2);
    struct bad_case {
        const char* what;
        std::function<void(data&)> setup;
        std::vector<std::string> message;
    };
    const auto one = [&](const std::string& name, const std::string& text, packing p = packing::plain) {
        return std::vector<std::string>{dir.write(name, text, p)};
    };
    const auto snp_line = [](const std::string& values) { return "s r 1 A G " + values + "\n"; };
    const std::string header = "h h h h h a a b b\n";
    std::string gz_bytes;
    {
        dir.write("whole.gz", good + good + good, packing::gzip);
        std::ifstream in(dir.file("whole.gz"), std::ios::binary);
        gz_bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string bz_bytes;
    {
        dir.write("whole.bz2", good, packing::bzip2);
        std::ifstream in(dir.file("whole.bz2"), std::ios::binary);
        bz_bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string corrupt = gz_bytes;
    corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x55);

    const std::vector<bad_case> cases = {
        {"no -i file", [](data&) {}, {"no intensity file given"}},
        {"missing file", [&](data& d) { d.input_files = {dir.file("absent.txt")}; },
         {dir.file("absent.txt"), ": cannot open intensity file"}},
        {"directory", [&](data& d) { d.input_files = {dir.file("")}; }, {"directory"}},
        {"missing second file",
         [&](data& d) { d.input_files = {dir.write("c1.txt", good), dir.file("absent2.txt")}; },
         {"absent2.txt: cannot open intensity file"}},
        {"truncated gzip",
         [&](data& d) { d.gz = true; d.input_files = one("t.gz", gz_bytes.substr(0, gz_bytes.size() - 5)); },
         {"t.gz:", "corrupt or truncated gzip data"}},
        {"gzip cut before its footer",
         [&](data& d) { d.gz = true; d.input_files = one("t8.gz", gz_bytes.substr(0, gz_bytes.size() - 8)); },
         {"t8.gz:", "truncated gzip"}},
        {"corrupt gzip", [&](data& d) { d.gz = true; d.input_files = one("k.gz", corrupt); },
         {"k.gz:", "corrupt or truncated gzip data"}},
        {"truncated bzip2",
         [&](data& d) { d.bz2 = true; d.input_files = one("t.bz2", bz_bytes.substr(0, bz_bytes.size() - 3)); },
         {"t.bz2:1: corrupt or truncated bzip2 data"}},
        {"gzip without -gz", [&](data& d) { d.input_files = one("g.gz", good, packing::gzip); },
         {"g.gz: the file is gzip-compressed but -gz is not given"}},
        {"bzip2 without -bz2", [&](data& d) { d.input_files = one("b.bz2", good, packing::bzip2); },
         {"b.bz2: the file is bzip2-compressed but -bz2 is not given"}},
        {"plain with -gz", [&](data& d) { d.gz = true; d.input_files = one("p.txt", good); },
         {"p.txt: -gz is given but the file is not gzip-compressed"}},
        {"plain with -bz2", [&](data& d) { d.bz2 = true; d.input_files = one("p.txt", good); },
         {"p.txt: -bz2 is given but the file is not bzip2-compressed"}},
        {"bzip2 with -gz", [&](data& d) { d.gz = true; d.input_files = one("b.bz2", good, packing::bzip2); },
         {"b.bz2: the file is bzip2-compressed, not gzip: give -bz2 instead of -gz"}},
        {"empty file", [&](data& d) { d.input_files = one("e.txt", ""); }, {"e.txt:1: the file is empty"}},
        {"short header", [&](data& d) { d.input_files = one("s.txt", "a b c d\n" + snp_line("")); },
         {"s.txt:1: the header has 4 tokens; at least 5 are needed"}},
        {"short header in second cohort",
         [&](data& d) { d.input_files = {dir.write("c1.txt", good), dir.write("c2.txt", "a\tb\r\n")}; },
         {"c2.txt:1: the header has 2 tokens"}},
        {"header without newline", [&](data& d) { d.input_files = one("n.txt", "a b c d e x y"); },
         {"n.txt:1: the header line has no newline"}},
        {"empty range", [&](data& d) { d.input_files = one("r.txt", good); d.first_snp = 4; },
         {"r.txt: the selected range starts at SNP 4 but the file holds 3 SNPs"}},
        {"no SNP lines", [&](data& d) { d.input_files = one("r0.txt", header + "\n \n"); },
         {"r0.txt: the selected range starts at SNP 1 but the file holds 0 SNPs"}},
        {"too few intensities",
         [&](data& d) { d.input_files = one("f.txt", header + snp_line("1 2 3 4") + snp_line("1 2 3")); },
         {"f.txt:3: expected 4 intensities, found 3"}},
        {"too many intensities",
         [&](data& d) { d.input_files = one("f.txt", header + snp_line("1 2 3 4 5 6")); },
         {"f.txt:2: expected 4 intensities, found 6"}},
        {"too few text fields", [&](data& d) { d.input_files = one("f.txt", header + "s r 1\n"); },
         {"f.txt:2: expected 5 text fields and 4 intensities, found 3 tokens"}},
        {"blank line inside the file",
         [&](data& d) { d.input_files = one("f.txt", header + "\n" + snp_line("1 2 3 4")); },
         {"f.txt:2: expected 5 text fields and 4 intensities, found 0 tokens"}},
        {"cohort file shorter",
         [&](data& d) { d.input_files = {dir.write("c1.txt", good), dir.write("c2.txt", intensity_text(2, 2))}; },
         {"c2.txt:4: the file ends after 2 SNP lines; SNP 3 is needed"}},
        {"cohort file shorter than the range start",
         [&](data& d) {
             d.first_snp = 3;
             d.input_files = {dir.write("c1.txt", good), dir.write("c2.txt", intensity_text(1, 2))};
         },
         {"c2.txt:3: the file ends after 2 lines, before SNP 3"}},
        {"missing sex file",
         [&](data& d) { d.chrX = true; d.input_files = one("c.txt", good); d.sex_files = {dir.file("nosex")}; },
         {"nosex: cannot open sex file"}},
        {"fewer sex files than cohorts",
         [&](data& d) {
             d.chrX = true;
             d.input_files = {dir.write("c1.txt", good), dir.write("c2.txt", good)};
             d.sex_files = {dir.write("sx.txt", "1 1")};
         },
         {"one sex file per cohort: 2 intensity files but 1 sex files"}},
        {"missing SNP information file",
         [&](data& d) { d.input_files = one("c.txt", good); d.snp_info_file = dir.file("noinfo"); },
         {"noinfo: cannot open SNP information file"}},
        {"SNP information line too short",
         [&](data& d) { d.input_files = one("c.txt", good); d.snp_info_file = dir.write("i.txt", "rs1 a b c 0.5\nrs2 a b\n"); },
         {"i.txt:2: expected at least 5 fields, found 3"}},
        {"SNP information file too short",
         [&](data& d) { d.input_files = one("c.txt", good); d.snp_info_file = dir.write("i.txt", "rs1 a b c 0.5\nrs2 a b c 1\n"); },
         {"i.txt:3: the SNP information file ends after 2 lines"}},
        {"SNP information file shorter than the range start",
         [&](data& d) { d.first_snp = 3; d.input_files = one("c.txt", good); d.snp_info_file = dir.write("i.txt", "rs1 a b c 0.5\n"); },
         {"i.txt:2: the SNP information file ends after 1 lines"}},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        data d;
        c.setup(d);
        console_capture console;
        try {
            d.read_data();
            ADD_FAILURE() << "no error";
        } catch (const run_error& e) {
            EXPECT_NE(e.status, 0);
            for (const std::string& part : c.message)
                EXPECT_THAT(e.what(), HasSubstr(part));
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
        }
    }
}

TEST(ReadData, BadTokensNameFileLineAndToken)
{
    temp_dir dir;
    // Each token stands for the second intensity of individual 2 on the second SNP line.
    const char* bad_intensities[] = {"inf", "-inf", "Infinity", "+inf", "abc", "1.5x", "nan(1)", "-nan", "--1",
                                     "+-1", "0x1p3", "1e999", "N", "NaNa", "1,5", "+"};
    for (const char* token : bad_intensities) {
        SCOPED_TRACE(token);
        data d;
        d.input_files = {dir.write("b.txt", "h h h h h a a b b\ns r 1 A G 1 2 3 4\ns r 1 A G 1 2 3 " +
                                                 std::string(token) + "\n")};
        console_capture console;
        try {
            d.read_data();
            ADD_FAILURE() << "no error";
        } catch (const run_error& e) {
            EXPECT_THAT(e.what(), HasSubstr("b.txt:3: token 9 (second intensity of individual 2): '" +
                                            std::string(token) + "' is neither a finite number nor NaN/NA"));
        }
    }
    const char* bad_codes[] = {"3", "-1", "m", "1.0", "99999999999"};
    for (const char* code : bad_codes) {
        SCOPED_TRACE(code);
        data d;
        d.chrX = true;
        d.input_files = {dir.write("c.txt", intensity_text(1, 3))};
        d.sex_files = {dir.write("sex.txt", "1\n2 " + std::string(code) + "\n")};
        console_capture console;
        try {
            d.read_data();
            ADD_FAILURE() << "no error";
        } catch (const run_error& e) {
            EXPECT_THAT(e.what(), HasSubstr("sex.txt:2: token 2: sex code '" + std::string(code) + "' is not 0, 1 or 2"));
        }
    }
    const char* bad_priors[] = {"abc", "1.5", "inf", "-inf", "nan(2)", "0.5x", "1.0000001"};
    for (const char* prior : bad_priors) {
        SCOPED_TRACE(prior);
        data d;
        d.input_files = {dir.write("c.txt", intensity_text(2, 1))};
        d.snp_info_file = dir.write("info.txt", "rs1 a b c 0.5\nrs2 a b c " + std::string(prior) + " extra\n");
        console_capture console;
        try {
            d.read_data();
            ADD_FAILURE() << "no error";
        } catch (const run_error& e) {
            EXPECT_THAT(e.what(), HasSubstr("info.txt:2: field 5: allele frequency '" + std::string(prior) + "'"));
        }
    }
}

TEST(ReadData, PriorFrequencyValues)
{
    temp_dir dir;
    const std::pair<const char*, double> cases[] = {{"0.25", 0.25}, {"0", 0},   {"1", 1},   {"+0.5", 0.5},
                                                    {"NA", -1},     {"na", -1}, {"-3", -1}, {"-1e-9", -1},
                                                    {"NaN", -1},    {"1e-1", 0.1}};
    std::string info;
    for (std::size_t k = 0; k < std::size(cases); ++k)
        info += "rs" + std::to_string(k + 1) + " a b c " + cases[k].first + " ignored fields\n";
    data d;
    d.input_files = {dir.write("c.txt", intensity_text(static_cast<int>(std::size(cases)), 1))};
    d.snp_info_file = dir.write("info.txt", info);
    read(d);
    for (std::size_t k = 0; k < std::size(cases); ++k)
        EXPECT_EQ(d.snps[k].prior_allele_freq, cases[k].second) << cases[k].first;
}

TEST(ReadData, SexFileWithWrongCountPrintsTheMessageAndFails)
{
    temp_dir dir;
    data d;
    d.chrX = true;
    d.input_files = {dir.write("c.txt", intensity_text(1, 4))};
    d.sex_files = {dir.write("sex.txt", "1 2 1")};
    console_capture console;
    try {
        d.read_data();
        ADD_FAILURE() << "no error";
    } catch (const run_error& e) {
        EXPECT_EQ(e.status, 1);
        EXPECT_THAT(e.what(), HasSubstr("sex.txt: holds 3 sex codes but"));
        EXPECT_THAT(console.out(), HasSubstr("sex file doesn't contain correct number of individuals\n 3  4\n"));
    }
}
