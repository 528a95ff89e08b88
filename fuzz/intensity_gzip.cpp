// Fuzzes the reading of a compressed intensity file: the decompression chain and the line
// parser behind it. The first input byte chooses how the rest becomes the file:
//   bit 0 clear: the rest is gzip-compressed by the target (level from bits 5-7), so the
//                mutations reach the line parser through a valid gzip stream;
//   bit 0 set:   the rest is written as it stands, so the mutations reach the gzip decoder
//                itself (corrupt headers, lengths, checksums, truncation); with bit 2 set the
//                file is read with both -gz and -bz2, which puts the bzip2 decoder in front.
//   bit 1:       -vcf (SNP positions checked);
//   bits 3-4:    first SNP of the range (none, 1, 2, 3).
#include <zlib.h>

#include <vector>

#include "fuzz_common.hpp"
#include "state/settings.hpp"

namespace {

std::vector<std::uint8_t> gzip(const std::uint8_t* bytes, std::size_t size, int level)
{
    z_stream z{};
    // A 4 KiB window (inputs are no longer) and little memory keep each execution cheap; any
    // window up to 32 KiB is valid for the reader. Plus 16: a gzip header and trailer.
    if (deflateInit2(&z, level, Z_DEFLATED, 12 + 16, 2, Z_DEFAULT_STRATEGY) != Z_OK)
        std::abort();
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(size)));
    z.next_in = const_cast<Bytef*>(bytes);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        std::abort();
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = bytes[0];
    const bool raw = (mode & 1) != 0;
    const std::vector<std::uint8_t> packed = raw ? std::vector<std::uint8_t>() : gzip(bytes + 1, size - 1, (mode >> 5) % 10);
    settings d;
    d.input_files = {raw ? fuzz::as_file(bytes + 1, size - 1) : fuzz::as_file(packed.data(), packed.size())};
    d.gz = true;
    d.bz2 = raw && (mode & 4) != 0;
    d.write_vcf = (mode & 2) != 0;
    const int first = (mode >> 3) & 3;
    if (first > 0)
        d.first_snp = first;
    fuzz::expecting_run_errors([&] { fuzz::read_all(d); });
    return 0;
}
