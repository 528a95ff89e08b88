// tarvix++: Bayesian genotype calling for two-channel SNP-array intensity data.
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <new>

#include "driver/analysis.hpp"
#include "driver/learning.hpp"
#include "driver/options.hpp"
#include "driver/progress.hpp"
#include "driver/version.hpp"
#include "input/priors_file.hpp"
#include "input/snp_reader.hpp"
#include "output/output_files.hpp"
#include "output/priors_file.hpp"
#include "output/result_set.hpp"
#include "state/error.hpp"
#include "state/settings.hpp"

namespace {

void print_banner()
{
    std::cout << std::endl << "tarvix++" << std::endl << "========" << std::endl << std::endl;
}

// Whether the console shows every SNP's detailed progress: asked for, or one thread writing to
// a terminal, where its lines overwrite each other.
bool detailed_console(const settings& cfg)
{
    return cfg.verbose || (cfg.threads == 1 && ::isatty(STDOUT_FILENO));
}

// The settings of the run: the options, then the priors of a priors file (-priors), checked
// together before any input is read.
settings read_settings(int argc, char** argv)
{
    settings cfg;
    cfg.seed = choose_seed(argc, argv);
    parse_command_line(cfg, argc, argv);
    if (!cfg.priors_file.empty()) input::read_priors(cfg.priors_file, cfg);
    check_settings(cfg);
    return cfg;
}

// Learns the priors from the run's own SNPs (-learn) into `cfg` and keeps them as PREFIX_priors.
void learn_and_keep_priors(settings& cfg, result_set& results)
{
    const std::string priors = learn_priors(cfg);
    check_settings(cfg);
    results.write(results.index_of(cfg.output_prefix + priors_file_suffix), priors);
}

// Reads, analyses and writes every SNP of the range.
void call_snps(const settings& cfg, result_set& results)
{
    input::snp_reader reader(cfg);
    check_scale(cfg, reader);
    result_writer writer(cfg, reader.cohorts(), results);
    std::cout << std::endl << "algorithm" << std::endl;
    const bool detailed = detailed_console(cfg);
    std::unique_ptr<progress_report> progress;
    if (!detailed) progress = std::make_unique<progress_report>(reader, std::cout);
    analyse_snps(cfg, reader, writer, detailed ? &std::cout : nullptr, progress.get());
    std::cout << std::endl;
    writer.finish();
}

int run(int argc, char** argv)
{
    if (help_requested(argc, argv)) {
        print_usage(std::cout);
        return 0;
    }
    if (version_requested(argc, argv)) {
        std::cout << "tarvix++ " << program_version << " (commit " << build_commit << ")" << std::endl;
        return 0;
    }
    print_banner();
    // Every option is taken before the input is read: a meaningless setting or an unwritable
    // output prefix then stops the run before any input is read.
    settings cfg = read_settings(argc, argv);
    std::cout.precision(10);
    result_set results(cfg.output_prefix, result_file_names(cfg));
    if (cfg.learns_priors()) learn_and_keep_priors(cfg, results);
    if (!cfg.learn_only) call_snps(cfg, results);
    results.commit();
    std::cout << "finished" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Past a file-size limit a write then fails with EFBIG and is reported, instead of the
    // signal ending the run silently.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return run(argc, argv);
    } catch (const run_error& e) {
        std::cout << std::endl;   // ends a progress line, so the message starts a line of its own
        std::cerr << "tarvix++: " << printable(e.what()) << std::endl;
        return e.status;
    } catch (const std::bad_alloc&) {
        std::cout << std::endl;
        std::cerr << "tarvix++: out of memory" << std::endl;
        return 1;
    }
}
