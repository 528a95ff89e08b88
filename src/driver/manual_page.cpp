// tarvix_manual: writes the manual page tarvix++.1 from the option table that -h prints, at
// build time, so that the page cannot drift from the program.
// Usage: tarvix_manual OUTPUT_FILE
#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/options.hpp"
#include "driver/version.hpp"

namespace {

// Text for roff: backslashes and minus signs escaped (an option is then copied as typed), and a
// line that would begin with a control character made plain.
std::string roff(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        if (ch == '\\')
            out += "\\e";
        else if (ch == '-')
            out += "\\-";
        else
            out += ch;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

// One option: its name (or names, "-h, --help") in bold, its values in italics, then what it
// does: the help text is "VALUES  meaning" for an option that takes values.
void write_option(std::ostream& out, const option_help& o)
{
    const std::string help = o.help;
    const std::size_t gap = help.find("  ");
    out << ".TP\n\\fB" << roff(o.name) << "\\fR";
    if (gap != std::string::npos) out << " \\fI" << roff(help.substr(0, gap)) << "\\fR";
    out << '\n' << roff(gap == std::string::npos ? help : help.substr(gap + 2)) << '\n';
}

void write_page(std::ostream& out)
{
    out << ".TH TARVIX++ 1 \"\" \"tarvix++ " << program_version << "\" \"User Commands\"\n"
        << ".SH NAME\n"
           "tarvix++ \\- Bayesian genotype calling from two\\-channel SNP\\-array intensities\n"
           ".SH SYNOPSIS\n"
           ".B tarvix++\n"
           "\\-i \\fICOHORT_FILE\\fR... [\\fIoptions\\fR]\n"
           ".SH DESCRIPTION\n"
           "For every SNP, tarvix++ fits by Markov chain Monte Carlo a mixture of three two\\-dimensional "
           "normal clusters (genotypes 0, 1, 2) and a broad null class to all cohorts at once, and writes "
           "per individual the probability of each genotype, the fitted parameters, two measures of how "
           "well the clusters are separated, and quality\\-control tables.\n"
           ".PP\n"
           "Every intensity file is one cohort: text (a header line, then per SNP \\fISNP_ID rs position "
           "allele1 allele2\\fR and two intensities per individual; plain, gzip or bzip2) or VCF/BCF with "
           "FORMAT/NORMX and NORMY (or X and Y) and INFO/ALLELE_A and ALLELE_B. Every cohort's file lists "
           "the same SNPs in the same order. With a fixed seed (\\-nrs, \\-seed) a run is byte for byte "
           "repeatable.\n"
           ".PP\n"
           "Option names match exactly; an option given twice takes its last values; every argument "
           "must be an option or one of its values.\n"
           ".SH OPTIONS\n";
    for (const option_section& section : option_sections()) {
        std::string title = section.title;
        title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
        out << ".SS " << roff(title) << '\n';
        for (const option_help& o : section.options) write_option(out, o);
    }
    out << ".SH FILES\n"
           "The result files of a run form one set: each is written to a temporary beside it and all are "
           "renamed into place only when every one is complete, so a failed or interrupted run leaves the "
           "earlier results of its prefix as they were.\n"
           ".TP\n\\fIPREFIX\\fB_\\fIj\\fB_mcmc\\fR, \\fIPREFIX\\fB_\\fIj\\fB.sample\\fR\n"
           "genotype probabilities of cohort \\fIj\\fR (Oxford GEN layout) and its sample file\n"
           ".TP\n\\fIPREFIX\\fB_params\\fR, \\fIPREFIX\\fB_information\\fR\n"
           "fitted parameters; final log posterior and the separation measures info1 and info2\n"
           ".TP\n\\fIPREFIX\\fB_samples.tsv\\fR, \\fIPREFIX\\fB_snps.tsv\\fR\n"
           "quality control per individual (call rate, heterozygosity, mean x + y; in X mode the sex check "
           "with plink's thresholds of F) and per SNP (call rate, allele frequency, Hardy\\-Weinberg exact "
           "p\\-value, separation, whether a labelled start won), columns named as plink2's reports name them\n"
           ".TP\n\\fIPREFIX\\fB.vcf.gz\\fR, \\fIPREFIX\\fB.vcf.gz.csi\\fR\n"
           "with \\-vcf: the calls as VCF (GT, GP), its header recording the version and the command line\n"
           ".SH EXIT STATUS\n"
           "0 on success; 1 for bad input or a failure, 2 for a bad command line, each with one line on "
           "standard error naming the file, line or option.\n"
           ".SH SEE ALSO\n"
           "\\fBtarvix\\-plot \\-\\-help\\fR (cluster plots and the QC summary page), plink2,\n"
           ".BR bcftools (1),\n"
           "and the README of the source distribution.\n";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: tarvix_manual OUTPUT_FILE" << std::endl;
        return 2;
    }
    std::ostringstream page;
    write_page(page);
    std::ofstream out(argv[1], std::ios::binary);
    out << page.str();
    out.close();
    if (!out) {
        std::cerr << "tarvix_manual: cannot write " << argv[1] << std::endl;
        return 1;
    }
    return 0;
}
