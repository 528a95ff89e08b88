// Fuzzes the command line: the input is split at newlines into arguments (at most 64, after
// the program name), then the option reading, the settings check and the seed choice run as
// in the program.
#include <sstream>
#include <vector>

#include "driver/options.hpp"
#include "fuzz_common.hpp"
#include "state/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    std::vector<std::string> args{"tarvix++", ""};
    for (std::size_t k = 0; k < size; ++k) {
        if (bytes[k] == '\n') {
            if (args.size() == 65) break;
            args.emplace_back();
        } else if (bytes[k] != '\0') {   // a C string cannot hold a NUL
            args.back().push_back(static_cast<char>(bytes[k]));
        }
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());
    fuzz::expecting_run_errors([&] {
        if (help_requested(argc, argv.data())) {
            std::ostringstream usage;
            print_usage(usage);
            return;
        }
        settings d;
        const double seed = choose_seed(argc, argv.data());
        if (!(seed >= 0 && seed <= 1)) std::abort();
        parse_command_line(d, argc, argv.data());
        check_settings(d);
    });
    return 0;
}
