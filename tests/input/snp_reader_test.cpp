// Reading intensity, SNP information and sex files into the run state: the values exactly as
// written whatever the packing and line layout, the SNP range, and a one-line error naming file
// and line for every kind of bad input the expected-output runs do not already show.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "../support.hpp"
#include "input/sample_ids.hpp"
#include "read_input.hpp"
#include "state/error.hpp"

namespace {

using support::packing;
using support::write_file;

// An intensity file of `n_snps` SNPs and `n_ind` individuals: SNP k (from 1) is "snp<k>" with rs
// "rs<k>" at position "00<100k>"; individual i's intensities are k + i/8 and k + 1/2 + i/8.
std::string intensity_text(int n_snps, int n_ind)
{
    std::string t = "SNP_ID rs pos A B";
    for (int i = 0; i < n_ind; ++i) t += " i" + std::to_string(i) + "a i" + std::to_string(i) + "b";
    t += "\n";
    for (int k = 1; k <= n_snps; ++k) {
        t += "snp" + std::to_string(k) + " rs" + std::to_string(k) + " 00" + std::to_string(100 * k) + " A G";
        for (int i = 0; i < n_ind; ++i) t += " " + std::to_string(k + i / 8.0) + " " + std::to_string(k + 0.5 + i / 8.0);
        t += "\n";
    }
    return t;
}

// Reads the input; returns its error message, or "" when it read the input.
std::string read(input_run& d, std::string* out = nullptr, std::string* err = nullptr)
{
    support::console_capture console;
    std::string message;
    try {
        d.read();
    } catch (const run_error& e) {
        message = e.what();
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    if (out) *out = console.out();
    if (err) *err = console.err();
    return message;
}

}  // namespace

TEST(ReadData, RecordsHoldTheFileValuesWhateverThePacking)
{
    support::scratch s;
    const std::pair<packing, const char*> packings[] = {
        {packing::plain, ""}, {packing::gzip, ".gz"}, {packing::bzip2, ".bz2"}, {packing::bzip2_of_gzip, ".gz.bz2"}};
    for (const auto& [p, suffix] : packings) {
        input_run d;
        d.cfg.gz = p == packing::gzip || p == packing::bzip2_of_gzip;
        d.cfg.bz2 = p == packing::bzip2 || p == packing::bzip2_of_gzip;
        d.cfg.input_files = {write_file(s.work() / (std::string("a") + suffix), intensity_text(4, 3), p),
                         write_file(s.work() / (std::string("b") + suffix), intensity_text(4, 5), p)};
        ASSERT_EQ(read(d), "") << suffix;
        ASSERT_EQ(d.snps.size(), 4u);
        EXPECT_EQ(d.cohorts.n_file_individuals, (std::vector<int>{3, 5}));
        const snp& r = d.snps[1];
        EXPECT_EQ(r.SNP_ID + " " + r.rs + " " + r.position + " " + r.allele1 + " " + r.allele2, "snp2 rs2 00200 A G");
        EXPECT_EQ(r.prior_allele_freq, -1);
        EXPECT_EQ(r.points[1][4], (xy{2.5, 3.0}));
        EXPECT_EQ(r.points[0], (std::vector<xy>{{2, 2.5}, {2.125, 2.625}, {2.25, 2.75}}));
        EXPECT_EQ(r.cohort_index, (std::vector<std::vector<int>>{{0, 0, 0}, {1, 1, 1, 1, 1}}));
        EXPECT_EQ(r.missing, (std::vector<std::vector<int>>{{}, {}}));
    }
}

// Headers with trailing blanks, a carriage return or an odd token count; CRLF SNP lines; a
// last line without newline and blank lines after it.
TEST(ReadData, LineLayouts)
{
    support::scratch s;
    const std::string line = "snp1 rs1 10 A G 1 2 3 4\r\n";
    const std::pair<const char*, int> headers[] = {
        {"a b c d e x1 y1 x2 y2\n", 2}, {"a b c d e x1 y1 x2 y2  \t \n", 2}, {"a b c d e x1 y1 x2 y2\r\n", 2},
        {"\ta  b c d e\tx1 y1 x2 y2 \r\n", 2}, {"a b c d e x1 y1 x2 y2 x3\n", 2}, {"a b c d e x1 y1 x2\n", 1}};
    for (const auto& [header, n] : headers) {
        input_run d;
        d.cfg.input_files = {write_file(s.work() / "h.txt", header + (n == 2 ? line : "s rs 1 A G 1 2\n"))};
        ASSERT_EQ(read(d), "") << header;
        EXPECT_EQ(d.cohorts.n_file_individuals[0], n) << header;
        EXPECT_EQ(d.snps[0].points[0][0], (xy{1, 2})) << header;
        EXPECT_EQ(d.snps[0].allele2, "G");
    }
    std::string text = intensity_text(3, 2);
    text.pop_back();
    for (const std::string& t : {text, text + "\n\n", text + "\n  \t\r\n\n", text + "\n \t"})
        for (packing p : {packing::plain, packing::gzip}) {
            input_run d;
            d.cfg.gz = p == packing::gzip;
            d.cfg.input_files = {write_file(s.work() / "c.txt", t, p)};
            ASSERT_EQ(read(d), "");
            ASSERT_EQ(d.snps.size(), 3u);
            EXPECT_EQ(d.snps[2].points[0], (std::vector<xy>{{3, 3.5}, {3.125, 3.625}}));
        }
}

// The range (a start below 1 is 1; an end below 1, below the start or beyond the file is the
// last SNP), the SNP information lines skipped with it, the missing markers, frequencies and
// sex codes in their accepted spellings.
TEST(ReadData, RangesMissingValuesAndSideFiles)
{
    support::scratch s;
    const char* freqs[] = {"0.25", "0", "1", "+0.5", "NA", "na", "-3", "NaN", "1e-1", "-1e-9"};
    const double values[] = {0.25, 0, 1, 0.5, -1, -1, -1, -1, 0.1, -1};
    std::string info;
    for (int k = 1; k <= 10; ++k) info += "rs" + std::to_string(k) + " a b c " + freqs[k - 1] + " ignored\n";
    const int ranges[][4] = {{-1, -1, 1, 10}, {0, 0, 1, 10}, {5, 3, 5, 10}, {3, 42, 3, 10}, {2, 4, 2, 4}, {10, 10, 10, 10}, {-7, 2, 1, 2}};
    for (const auto& r : ranges) {
        input_run d;
        d.cfg.input_files = {write_file(s.work() / "ten.txt", intensity_text(10, 2))};
        d.cfg.snp_info_file = write_file(s.work() / "info.txt", info);
        d.cfg.first_snp = r[0], d.cfg.last_snp = r[1];
        std::string out;
        ASSERT_EQ(read(d, &out), "");
        ASSERT_EQ(d.snps.size(), static_cast<std::size_t>(r[3] - r[2] + 1));
        for (int k = r[2]; k <= r[3]; ++k) {
            EXPECT_EQ(d.snps[k - r[2]].SNP_ID, "snp" + std::to_string(k));
            EXPECT_EQ(d.snps[k - r[2]].prior_allele_freq, values[k - 1]) << freqs[k - 1];
        }
        EXPECT_EQ(out.find("MISMATCH"), std::string::npos);
    }
    input_run d;
    d.cfg.chrX = true;
    d.cfg.input_files = {write_file(s.work() / "m1.txt", "h h h h h a a b b c c d d\ns1 r1 1 A G 1 2 NaN 4 5 6 7 8\n"
                                                      "s2 r2 2 A G 1 na 3 4 NA nAn 7 8\ns3 r3 3 A G nan NA na NaN Na NAN nA NaN\n"),
                     write_file(s.work() / "m2.txt", "h h h h h a a\ns1 r1 1 A G 0.5 0.25\ns2 r2 2 A G 1e-3 +2E2\ns3 r3 3 A G -0 .5\n")};
    d.cfg.sex_files = {write_file(s.work() / "s1.txt", "1 2\n\n 0\t1"), write_file(s.work() / "s2.txt", "+2\n")};
    ASSERT_EQ(read(d), "");
    const std::vector<std::vector<xy>> points = {{{1, 2}, {5, 6}, {7, 8}}, {{3, 4}, {7, 8}}, {}};
    const std::vector<std::vector<int>> missing = {{1}, {0, 2}, {0, 1, 2, 3}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(d.snps[k].points[0], points[k]) << k;
        EXPECT_EQ(d.snps[k].missing[0], missing[k]) << k;
        EXPECT_EQ(d.snps[k].cohort_index[0].size(), points[k].size()) << k;
    }
    EXPECT_EQ(d.snps[1].points[1][0], (xy{1e-3, 200}));
    EXPECT_EQ(d.snps[2].points[1][0], (xy{0, 0.5}));
    EXPECT_EQ(d.cohorts.sex, (std::vector<std::vector<int>>{{1, 2, 0, 1}, {2}}));
    EXPECT_EQ(d.cohorts.sex_counts[0], (std::array<int, 3>{1, 2, 1}));
    // PLINK files matched by IID: numeric IIDs whose first line is all 0, 1 and 2 (told by the
    // name, or by a later line), and a cohort naming one individual twice, both taking its sex.
    const std::pair<const char*, const char*> plink[] = {
        {"n.fam", "1 1 0 0 1 1\n2 2 0 0 2 1\n3 3 0 0 0 1\n"}, {"n.txt", "1 1 0 0 1 1\n2 2 0 0 2 1\n3 3 0 0 0 -9\n"},
        {"n.psam", "1 1 0 0 1 1\n2 2 0 0 F 1\n3 3 0 0 NA 1\n"}, {"n.PSAM", "#IID SEX\n2 2\n1 1\n3 0\n"}};
    for (const auto& [name, text] : plink) {
        input_run p;
        p.cfg.chrX = true;
        p.cfg.input_files = {write_file(s.work() / "n.txt.in", "h h h h h 1a 1b 2a 2b 1a 1b 3a 3b\ns1 r1 1 A G 1 2 3 4 5 6 7 8\n")};
        p.cfg.sex_files = {write_file(s.work() / name, text)};
        ASSERT_EQ(read(p), "") << name;
        EXPECT_EQ(p.cohorts.sex[0], (std::vector<int>{1, 2, 1, 0})) << name;
        EXPECT_EQ(p.cohorts.sample_ids[0], (std::vector<std::string>{"1", "2", "1_2", "3"})) << name;
    }
}

// An individual's identifier is the common stem of its two column labels when they differ only
// in a last A/B or X/Y (one separator dropped), else its first label; repeats over all cohorts
// become "_2", "_3"... never colliding with a name that exists.
TEST(ReadData, SampleIdentifiers)
{
    const std::pair<std::pair<const char*, const char*>, const char*> stems[] = {
        {{"ab", "ab"}, "ab"},     {{"idA", "idB"}, "id"},      {{"idB", "idA"}, "idB"}, {{"id_a", "id_b"}, "id"},
        {{"id-X", "id-Y"}, "id"}, {{"id__X", "id__Y"}, "id_"}, {{"A", "B"}, "A"},       {{"_A", "_B"}, "_"},
        {{"idA", "jdB"}, "idA"},  {{"idA", "idAB"}, "idA"},    {{"idx", "idY"}, "idx"}, {{"s.1.x", "s.1.y"}, "s.1"}};
    for (const auto& [pair, stem] : stems) EXPECT_EQ(input::sample_id_of(pair.first, pair.second), stem) << pair.first;
    std::vector<std::vector<std::string>> ids{{"a", "a", "a_2"}, {"a"}};
    const auto renamed = input::make_unique_ids(ids);
    EXPECT_EQ(ids, (std::vector<std::vector<std::string>>{{"a", "a_3", "a_2"}, {"a_4"}}));
    ASSERT_EQ(renamed.size(), 2u);
    EXPECT_EQ(std::make_pair(renamed[1].cohort, renamed[1].column), std::make_pair(1, 0));
    EXPECT_EQ(renamed[1].from + " " + renamed[1].to, "a a_4");
    // Over a thousand repeats: ten are told, then how many more.
    support::scratch s;
    std::string header = "SNP_ID rs pos A B", line = "s1 rs1 10 A G";
    for (int i = 0; i < 12; ++i) header += " x y", line += " 1 2";
    input_run d;
    d.cfg.input_files = {write_file(s.work() / "dup.txt", header + "\n" + line + "\n")};
    std::string err;
    ASSERT_EQ(read(d, nullptr, &err), "");
    EXPECT_EQ(support::lines_of(err).size(), 11u);
    EXPECT_EQ(support::lines_of(err).back(), "warning: 1 more individuals renamed the same way");
    EXPECT_EQ(d.cohorts.sample_ids[0][11], "x_12");
}

TEST(ReadData, BadInputNamesFileLineAndToken)
{
    support::scratch s;
    int files = 0;   // every row's files under names of their own
    const auto file = [&](const std::string& name, const std::string& text, packing p = packing::plain) {
        return write_file(s.work() / (std::to_string(++files) + "_" + name), text, p);
    };
    const std::string good = intensity_text(3, 2), gz = support::read_file(file("g.gz", good + good, packing::gzip));
    const std::string bz = support::read_file(file("b.bz2", good, packing::bzip2));
    std::string corrupt = gz;
    corrupt[corrupt.size() / 2] ^= 0x55;
    struct row {
        std::vector<std::string> inputs;
        std::string option;   // -gz, -bz2, -chrX SEX, -f INFO, -snps N, -vcf
        std::string message;
    };
    const std::string header = "h h h h h a a b b\n";
    ASSERT_EQ(::mkfifo(s.file("fifo").c_str(), 0600), 0);
    const std::vector<row> rows = {
        {{file("k.gz", corrupt)}, "-gz", "k.gz:1: corrupt or truncated gzip data"},
        {{file("t8.gz", gz.substr(0, gz.size() - 8))}, "-gz", "t8.gz:1: corrupt or truncated gzip data"},
        {{file("t.bz2", bz.substr(0, bz.size() - 3))}, "-bz2", "t.bz2:1: corrupt or truncated bzip2 data"},
        {{file("b.bz2", good, packing::bzip2)}, "", "b.bz2: the file is bzip2-compressed but -bz2 is not given"},
        {{file("p.txt", good)}, "-bz2", "p.txt: -bz2 is given but the file is not bzip2-compressed (no bzip2 magic bytes)"},
        {{s.work().string()}, "", s.work().string() + ": cannot read intensity file: it is a directory"},
        {{file("c1.txt", good), s.file("absent")}, "", "absent: cannot open intensity file"},
        {{file("c1.txt", good), file("c2.txt", "a\tb\r\n")}, "", "c2.txt:1: the header has 2 tokens; at least 5 are needed"},
        {{file("r0.txt", header + "\n \n")}, "", "r0.txt: the selected range starts at SNP 1 but the file holds 0 SNPs"},
        {{file("r1.txt", header + "s r 1 A G 1 2 3 4\n\n\n")}, "-snps 3", "r1.txt: the selected range starts at SNP 3 but the file holds 1 SNPs"},
        {{file("k0.txt", header + "\ns r 1 A G 1 2 3 4\n")}, "-snps 2", "k0.txt:2: expected 5 text fields and 4 intensities, found 0 tokens"},
        {{file("f.txt", header + "s r 1 A G 1 2 3 4 5 6\n")}, "", "f.txt:2: expected 4 intensities, found 6"},
        {{file("c1.txt", good), file("c2.txt", intensity_text(1, 2))}, "-snps 3", "c2.txt:3: the file ends after 1 SNP lines, but"},
        {{s.file("fifo")}, "", "fifo: not a regular file (a pipe or a device)"},
        {{file("c1.txt", good)}, "-chrX " + s.file("absent"), "absent: cannot open sex file"},
        {{file("c1.txt", good)}, "-f " + file("i.txt", "rs1 a b c 0.5\nrs2 a b\n"), "i.txt:2: expected at least 5 fields, found 3"},
        {{file("c1.txt", good)}, "-f " + file("i.txt", "rs1 a b c 0.5\nrs2 a b c 1\n"), "i.txt:3: the SNP information file ends after 2 lines"},
        {{file("c1.txt", good)}, "-f " + file("i.txt", "rs1 a b c 0.5\n") + " -snps 3", "i.txt:2: the SNP information file ends after 1 lines"},
    };
    std::vector<row> all = rows;
    const std::string long_token(50, '7');   // quoted up to 40 characters, so that a message stays short
    all.push_back({{file("b.txt", header + "s r 1 A G 1 2 3 " + long_token + "x\n")}, "", "'" + long_token.substr(0, 40) + "...' is neither"});
    for (const char* token : {"inf", "-inf", "Infinity", "abc", "nan(1)", "-nan", "--1", "+-1", "0x1p3", "1e999", "N", "NaNa", "1,5", "+"})
        all.push_back({{file("b.txt", header + "s r 1 A G 1 2 3 4\ns r 1 A G 1 2 3 " + token + "\n")}, "",
                       "b.txt:3: token 9 (second intensity of individual 2): '" + std::string(token) + "' is neither a finite number nor NaN/NA"});
    for (const char* code : {"3", "-1", "m", "1.0", "99999999999"})
        all.push_back({{file("c1.txt", intensity_text(1, 3))}, "-chrX " + file("sex.txt", "1\n2 " + std::string(code) + "\n"),
                       "sex.txt:2: token 2: sex code '" + std::string(code) + "' is not 0, 1 or 2"});
    // Sex files: the kind each was read as named; an IID given twice with two sexes.
    const std::string three = intensity_text(1, 3);
    all.push_back({{file("c1.txt", three)}, "-chrX " + file("fam", "1 1 0 0 1 1\n2 2 0 0 2 2\n2 1 0 0 1 1\n"),
                   "fam: holds 18 sex codes but " + s.file(std::to_string(files - 1) + "_c1.txt") +
                       " has 3 individuals (read as sex codes in column order; a PLINK .fam or .psam is told by its name)"});
    all.push_back({{file("c1.txt", three)}, "-chrX " + file("d.fam", "F i0 0 0 1 -9\nF i1 0 0 2 -9\nG i0 0 0 2 -9\nF i2 0 0 0 -9\n"),
                   "d.fam:3: individual 'i0' is listed again, with sex 2 after sex 1 on line 1 (read as a PLINK .fam file)"});
    all.push_back({{file("c1.txt", three)}, "-chrX " + file("d.psam", "#FID IID SEX\nF i0 1\nF i1 2\n"),
                   "d.psam: no line for individual i2 of " + s.file(std::to_string(files - 1) + "_c1.txt") + " (read as a PLINK .psam file)"});
    for (const char* prior : {"inf", "nan(2)", "0.5x", "1.0000001"})
        all.push_back({{file("c1.txt", good)}, "-f " + file("info.txt", "rs1 a b c 0.5\nrs2 a b c " + std::string(prior) + "\n"),
                       "info.txt:2: field 5: allele frequency '" + std::string(prior) + "' is neither a number in [0, 1]"});
    // A later cohort's SNP line with another rs, position or allele is another SNP.
    for (const char* other : {"r 2 A/G", "x 1 A/G", "r 1 C/G", "r 1 A/C"}) {
        std::string line = std::string("s ") + other + " 1 2 3 4\n";
        line[line.find('/')] = ' ';
        all.push_back({{file("c1.txt", header + "s r 1 A G 1 2 3 4\n"), file("c2.txt", header + line)}, "",
                       "c2.txt:2: SNP s (" + std::string(other) + ") is not the SNP of line 2 of "});
    }
    for (const char* position : {"0", "-5", "12.5", "1e3", "abc", "2147483648"})
        all.push_back({{file("v.txt", "SNP_ID rs pos A B ia ib\ns1 rs1 7 A G 1 2\nsnpX rs2 " + std::string(position) + " A G 1 2\n")}, "-vcf",
                       "v.txt:3: SNP snpX: position '" + std::string(position) + "' is not a positive integer, which -vcf needs"});
    for (const row& r : all) {
        input_run d;
        d.cfg.input_files = r.inputs;
        const std::vector<std::string> option = support::fields_of(r.option);
        for (std::size_t o = 0; o < option.size(); ++o) {
            if (option[o] == "-gz") d.cfg.gz = true;
            if (option[o] == "-bz2") d.cfg.bz2 = true;
            if (option[o] == "-vcf") d.cfg.write_vcf = true;
            if (option[o] == "-chrX") d.cfg.chrX = true, d.cfg.sex_files = {option[o + 1]};
            if (option[o] == "-f") d.cfg.snp_info_file = option[o + 1];
            if (option[o] == "-snps") d.cfg.first_snp = std::stoi(option[o + 1]);
        }
        const std::string message = read(d);
        EXPECT_NE(message.find(r.message), std::string::npos) << "expected: " << r.message << "\nfound:    " << message;
    }
    // Equal positions (from 1) are fine with -vcf, and without it any position text is.
    input_run equal, any;
    equal.cfg.write_vcf = true;
    equal.cfg.input_files = {file("e.txt", "SNP_ID rs pos A B ia ib\ns1 rs1 1 A G 1 2\ns2 rs2 1 A G 1 2\n")};
    any.cfg.input_files = {file("e.txt", "SNP_ID rs pos A B ia ib\ns1 rs1 chr1:7 A G 1 2\ns2 rs2 6 A G 1 2\n")};
    EXPECT_EQ(read(equal) + read(any), "");
    EXPECT_EQ(any.snps[0].position, "chr1:7");
}
