// tarvix++: Bayesian genotype calling for two-channel SNP-array intensity data.
#include <csignal>
#include <iostream>
#include <new>

#include "driver/options.hpp"
#include "input/scale.hpp"
#include "numeric/random.hpp"
#include "output/output_files.hpp"
#include "output/result_set.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

namespace {

void print_banner()
{
    std::cout << std::endl << "tarvix++" << std::endl << "========" << std::endl << std::endl;
}

void analyse_every_snp(data& d, result_set& results)
{
    std::cout << std::endl << "algorithm" << std::endl;
    for (int i = 0; i < d.n_snps; ++i) {
        d.current_snp = i;
        std::cout << std::endl << "snp " << i + 1 << " [" << d.snps[i].rs << "] " << std::endl;
        d.v1();
        if (d.print_params) results.write(results.index_of(trace_file_name), d.params_trace.str());
    }
    std::cout << std::endl;
}

int run(int argc, char** argv)
{
    if (help_requested(argc, argv)) {
        print_usage(std::cout);
        return 0;
    }
    data d;
    print_banner();
    MT generator(choose_seed(argc, argv));
    Random::Set(generator);

    // Every option is taken before the input is read: a meaningless setting or an unwritable
    // output prefix then stops the run before any input is read.
    parse_command_line(d, argc, argv);
    check_settings(d);
    result_set results(d.output_prefix, result_file_names(d));

    d.read_data();
    input::check_scale(d.snps, d.input_files, d.scale);
    analyse_every_snp(d, results);
    d.output_mcmc(results);
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
