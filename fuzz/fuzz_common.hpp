#pragma once
// Shared pieces of the fuzz targets: the readers take file names, so each input is written to
// a file of this process first, and the console output of the readers is thrown away (it is
// not what is tested and would slow every execution down).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace fuzz {

// A file name private to this process, in memory-backed /dev/shm when it exists. The file is
// removed when the process exits normally; after a finding it stays beside the reported input.
// Called once per program.
inline std::string scratch_name(const std::string& what)
{
    static std::string name;
    const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm")
                                          ? std::filesystem::path("/dev/shm")
                                          : std::filesystem::temp_directory_path();
    name = (dir / ("tarvix_fuzz_" + std::to_string(::getpid()) + "_" + what)).string();
    std::atexit([] { std::remove(name.c_str()); });
    return name;
}

inline void write_file(const std::string& name, const std::uint8_t* bytes, std::size_t size)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!out.flush()) {
        std::fprintf(stderr, "fuzz harness: cannot write %s\n", name.c_str());
        std::abort();
    }
}

// Silences std::cout and std::cerr for the whole run; sanitizer and libFuzzer reports are
// written to the standard error descriptor directly and still appear.
inline void silence_console()
{
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
}

}  // namespace fuzz
