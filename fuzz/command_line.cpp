// Fuzzes the command line: the input is split at newlines into arguments (at most 64, after
// the program name), then both option passes, the settings check and the seed choice run as
// in the program. A run_error is the expected outcome of a bad command line; anything else is
// a finding.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "driver/options.hpp"
#include "fuzz_common.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::silence_console();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    constexpr std::size_t most_arguments = 64;
    std::vector<std::string> args{"tarvix++"};
    std::string current;
    for (std::size_t k = 0; k < size && args.size() <= most_arguments; ++k) {
        const char c = static_cast<char>(bytes[k]);
        if (c == '\n') {
            args.push_back(current);
            current.clear();
        } else if (c != '\0') {   // a C string cannot hold a NUL
            current.push_back(c);
        }
    }
    if (args.size() <= most_arguments)
        args.push_back(current);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());

    try {
        if (help_requested(argc, argv.data())) {
            std::ostringstream usage;
            print_usage(usage);
            return 0;
        }
        data d;
        const double seed = choose_seed(argc, argv.data());
        if (!(seed >= 0 && seed <= 1))
            __builtin_trap();
        parse_input_options(d, argc, argv.data());
        parse_model_options(d, argc, argv.data());
        check_settings(d);
    } catch (const run_error&) {
    }
    return 0;
}
