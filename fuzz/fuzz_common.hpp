#pragma once
// Shared by the fuzz targets: the console is silenced (it is not what is tested and would slow
// every execution down; sanitizer and libFuzzer reports go to the error descriptor directly),
// each input becomes a file of this process, since the readers take file names, and a
// run_error is the expected outcome of bad input; anything else is a finding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

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
// and returns its name. The file is removed at a normal exit; after a finding it stays.
inline const std::string& as_file(const std::uint8_t* bytes, std::size_t size)
{
    static const std::string name =
        ((std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
         ("tarvix_fuzz_" + std::to_string(::getpid())))
            .string();
    // Registered after the name is made, so that it runs before the name is destroyed.
    static const int removal = std::atexit([] { std::remove(name.c_str()); });
    (void)removal;
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
