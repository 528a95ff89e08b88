#pragma once
// Shared by the fuzz targets: the console is silenced (it is not what is tested and would slow
// every execution down; sanitizer and libFuzzer reports go to the error descriptor directly),
// each input becomes a file of this process, since the readers take file names, and a
// run_error is the expected outcome of bad input; anything else is a finding.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "input/snp_reader.hpp"
#include "state/error.hpp"
#include "state/settings.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    return 0;
}

namespace fuzz {

// Writes the input to this process's scratch file, in memory-backed /dev/shm when it exists,
// its name ending in `extension`, and returns the name. The files are removed at a normal exit;
// after a finding they stay.
inline std::string as_file(const std::uint8_t* bytes, std::size_t size, const std::string& extension = "")
{
    static const std::string stem =
        ((std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
         ("tarvix_fuzz_" + std::to_string(::getpid())))
            .string();
    static std::vector<std::string> made;
    // Registered after the names are made, so that it runs before they are destroyed.
    static const int removal = std::atexit([] {
        for (const std::string& name : made) std::remove(name.c_str());
    });
    (void)removal;
    const std::string name = stem + extension;
    if (std::find(made.begin(), made.end(), name) == made.end()) made.push_back(name);
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!out.flush()) std::abort();
    return name;
}

template <class F>
void expecting_run_errors(F f)
{
    try {
        f();
    } catch (const run_error&) {
    }
}

// Reads the input of `s` as the program does: the headers and side files, then every SNP.
inline void read_all(settings& s)
{
    input::snp_reader reader(s);
    snp record;
    int number = 0;
    while (reader.next(record, number)) {
    }
}

}  // namespace fuzz
