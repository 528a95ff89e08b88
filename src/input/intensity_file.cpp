#include "input/intensity_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <boost/iostreams/device/file_descriptor.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <ios>

#include "input/side_files.hpp"
#include "state/error.hpp"

namespace io = boost::iostreams;

namespace input {

namespace {

constexpr int gzip_window_bits = 15;
constexpr std::streamsize filter_buffer_size = 4096;
// Large reads from the chain keep the per-line cost at a memchr; the buffer starts at this
// size and grows only for a line that does not fit.
constexpr std::size_t block_size = std::size_t{64} << 10;

enum class layer { none, gzip, bzip2 };

const char* flag_of(layer l)
{
    return l == layer::gzip ? "-gz" : "-bz2";
}

const char* name_of(layer l)
{
    return l == layer::gzip ? "gzip" : "bzip2";
}

}  // namespace

void check_compression(const std::string& name, bool gz, bool bz2)
{
    // A pipe or device would yield its bytes to the first of the several readings only.
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw run_error(name + ": not a regular file (a pipe or a device); its first bytes are checked before it "
                               "is read, so name the file itself");
    std::ifstream file = open_input(name, "intensity file");
    unsigned char magic[4] = {0, 0, 0, 0};
    file.read(reinterpret_cast<char*>(magic), sizeof magic);
    const std::streamsize n = file.gcount();
    if (file.bad())
        throw run_error(name + ": cannot read intensity file");

    layer found = layer::none;
    if (n >= 2 && magic[0] == 0x1f && magic[1] == 0x8b)
        found = layer::gzip;
    else if (n >= 4 && std::memcmp(magic, "BZh", 3) == 0 && magic[3] >= '1' && magic[3] <= '9')
        found = layer::bzip2;
    // The outermost layer of the file: bzip2 when both flags are given.
    const layer expected = bz2 ? layer::bzip2 : gz ? layer::gzip : layer::none;
    if (found == expected)
        return;
    if (expected == layer::none)
        throw run_error(name + ": the file is " + name_of(found) + "-compressed but " +
                        flag_of(found) + " is not given");
    if (found == layer::none)
        throw run_error(name + ": " + flag_of(expected) + " is given but the file is not " +
                        name_of(expected) + "-compressed (no " + name_of(expected) +
                        " magic bytes)");
    throw run_error(name + ": the file is " + name_of(found) + "-compressed, not " +
                    name_of(expected) + ": give " + flag_of(found) + " instead of " +
                    flag_of(expected));
}

struct intensity_file::chain {
    io::filtering_istream in;
};

intensity_file::intensity_file(const std::string& name, bool gz, bool bz2)
    : name_(name), gz_(gz), bz2_(bz2), chain_(std::make_unique<chain>()),
      buffer_(new char[block_size]), capacity_(block_size), line_limit_(header_line_limit),
      limit_why_(", the most a header line may hold")
{
    check_compression(name, gz, bz2);
    io::file_descriptor_source source;
    try {
        source.open(name, std::ios::in | std::ios::binary);
    } catch (const std::ios_base::failure&) {
    }
    if (!source.is_open())
        throw run_error(name + ": cannot open intensity file");
    descriptor_ = source.handle();
    struct stat st {};
    if (::fstat(descriptor_, &st) == 0)
        size_ = static_cast<std::uint64_t>(st.st_size);
    if (gz)
        chain_->in.push(io::gzip_decompressor(gzip_window_bits, filter_buffer_size));
    if (bz2)
        chain_->in.push(io::bzip2_decompressor(io::bzip2::default_small, filter_buffer_size));
    chain_->in.push(source);
}

intensity_file::~intensity_file()
{
    // Closing a chain left early (range end or a reported error) must not throw from here.
    try {
        chain_->in.reset();
    } catch (...) {
    }
}

std::uint64_t intensity_file::bytes_read() const
{
    const off_t at = ::lseek(descriptor_, 0, SEEK_CUR);
    return at > 0 ? static_cast<std::uint64_t>(at) : 0;
}

void intensity_file::fail(const std::string& what) const
{
    fail_at(line_, what);
}

void intensity_file::fail_at(long line, const std::string& what) const
{
    throw run_error(name_ + ":" + std::to_string(line) + ": " + what);
}

void intensity_file::set_line_limit(std::size_t bytes, const std::string& why)
{
    line_limit_ = bytes;
    limit_why_ = why;
}

void intensity_file::check_length(std::size_t length) const
{
    if (length > line_limit_)
        fail_at(line_ + 1, "line " + std::to_string(line_ + 1) + " is longer than " + std::to_string(line_limit_) +
                               " bytes" + limit_why_);
}

void intensity_file::fill()
{
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == capacity_) {
        // The caller has checked that the held bytes are within the limit: one more byte past
        // it is all that is needed to see that a line is too long.
        const std::size_t grown = std::min(2 * capacity_, line_limit_ + 1);
        std::unique_ptr<char[]> larger(new char[grown]);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ = grown;
    }
    chain_->in.read(buffer_.get() + end_, static_cast<std::streamsize>(capacity_ - end_));
    const std::streamsize got = chain_->in.gcount();
    // A decompressor that meets corrupt or truncated data fails the read: the stream catches
    // its exception and sets badbit, which without this check would look like a short file.
    if (chain_->in.bad())
        fail_at(line_ + 1, std::string("corrupt or truncated ") + (bz2_ ? "bzip2" : gz_ ? "gzip" : "file") + " data");
    if (got == 0)
        at_end_ = true;
    end_ += static_cast<std::size_t>(got);
}

bool intensity_file::next_line(std::string_view& line)
{
    std::size_t scanned = 0;   // bytes after begin_ already known to hold no newline
    for (;;) {
        const char* start = buffer_.get() + begin_;
        const std::size_t held = end_ - begin_;
        const void* nl = std::memchr(start + scanned, '\n', held - scanned);
        if (nl != nullptr) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(nl) - start);
            check_length(length);
            line = std::string_view(start, length);
            begin_ += length + 1;
            terminated_ = true;
            ++line_;
            return true;
        }
        if (at_end_) {
            if (held == 0)
                return false;
            check_length(held);
            line = std::string_view(start, held);
            begin_ = end_;
            terminated_ = false;
            ++line_;
            return true;
        }
        check_length(held);
        scanned = held;
        fill();
    }
}

}  // namespace input
