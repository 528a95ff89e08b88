#pragma once
#include <array>
#include <fstream>
#include <string>
#include <vector>

// The plain-text inputs beside the intensity files: sex files and the SNP information file.
// A line of either longer than 16 MiB is refused with a run_error naming the file and line.
namespace input {

// Opens a file for reading (binary, so bytes arrive unchanged); throws run_error naming the
// file and `kind` ("intensity file", "sex file", ...) when it is a directory or cannot be opened.
std::ifstream open_input(const std::string& name, const std::string& kind);

// The sex codes of a cohort's individuals, in the order of `ids`, from its sex file: sex codes
// in column order (any layout of whitespace; 0 unknown, 1 male, 2 female), as many as the
// intensity file `cohort_file` has individuals; or a PLINK 2 .psam (a header line "#FID ..." or
// "#IID ..." with a SEX column: 1, M male; 2, F female; 0, NA, "." unknown) or a PLINK .fam
// (six fields a line; field 5: 1 male, 2 female, 0 unknown), matched to the individuals by IID,
// every individual with an IID taking its sex. A .fam or .psam is told by its name's extension,
// or by its content (see side_files.cpp). Throws run_error naming the file, line and the kind it
// was read as for a missing individual, an IID given twice with different sexes, a bad code or a
// count that does not match. `counts[c]` receives the number of codes c.
std::vector<int> read_cohort_sexes(const std::string& name, const std::vector<std::string>& ids,
                                   const std::string& cohort_file, std::array<int, 3>& counts);

// The SNP information file, read line by line: line k describes SNP k. Fields 1 (the SNP's rs)
// and 5 (the reference allele frequency) are used; 2 to 4 and any beyond 5 are ignored.
class snp_info_reader {
public:
    explicit snp_info_reader(const std::string& name);

    // Skips the lines of the SNPs before the range; throws run_error when the file is shorter.
    void skip(int lines);
    // Reads the line of the SNP whose rs is `rs`. `prior` is the frequency in [0, 1], or -1
    // (unknown) for "NA"/"NaN" in any case or a negative number; any other text, a value above 1
    // or a non-finite value, fewer than five fields or a missing line throws run_error naming
    // the line. A field 1 other than `rs` is printed as "MISMATCH!!!!!" on standard output and
    // throws too: the line describes another SNP, and so, most likely, do all lines after it.
    void next(const std::string& rs, double& prior);

private:
    bool next_line();

    std::string name_;
    std::ifstream in_;
    std::string line_;
    long line_number_ = 0;
};

}  // namespace input
