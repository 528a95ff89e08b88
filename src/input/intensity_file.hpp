#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Line-by-line reading of one cohort's intensity file through the decompression chain.
namespace input {

// The longest header line accepted: room for a million individuals with column labels of up
// to 32 characters, ten times the largest cohorts exported in practice.
constexpr std::size_t header_line_limit = std::size_t{64} << 20;

// Throws run_error when the file is not a regular file, cannot be opened, or when its first
// bytes disagree with the compression flags (gzip: 1f 8b; bzip2: "BZh" and a digit), naming
// the flag that is missing or wrong. With both flags only the outer (bzip2) layer is checked
// here; a bad inner gzip layer is reported as corrupt data when it is read.
void check_compression(const std::string& name, bool gz, bool bz2);

// Opens the file through a Boost.Iostreams filtering stream: a gzip decompressor (15-bit
// window, 4096-byte buffer) when `gz`, then a bzip2 decompressor (default parameters,
// 4096-byte buffer) when `bz2`, then the file source. The chain is torn down on destruction.
// Lines are cut out of large blocks read from the chain, so no per-token stream work is done.
// The buffer grows only as far as the longest accepted line (see set_line_limit), so a stream
// without newlines, however long once decompressed, stops with an error at bounded memory.
class intensity_file {
public:
    intensity_file(const std::string& name, bool gz, bool bz2);
    ~intensity_file();
    intensity_file(const intensity_file&) = delete;
    intensity_file& operator=(const intensity_file&) = delete;

    // The next line without its newline, valid until the next call; false at the end of the
    // data. A last line without a final newline is returned like any other. A corrupt or
    // truncated compressed stream throws run_error naming the file and line.
    bool next_line(std::string_view& line);
    // The longest line, in bytes without its newline, that next_line accepts from now on; a
    // longer one throws run_error "name:N: line N is longer than LIMIT bytes" followed by
    // `why`. Until it is set the limit is header_line_limit.
    void set_line_limit(std::size_t bytes, const std::string& why);
    // Whether the line last returned ended in a newline.
    bool terminated() const { return terminated_; }
    // 1-based number of the line last returned (0 before the first).
    long line_number() const { return line_; }
    const std::string& name() const { return name_; }
    // Bytes of the file as stored (compressed) taken by the decompression chain so far, and the
    // file's size: how far through the file the reading is.
    std::uint64_t bytes_read() const;
    std::uint64_t size() const { return size_; }
    // Throws run_error "name:line: what" for the line last returned.
    [[noreturn]] void fail(const std::string& what) const;
    [[noreturn]] void fail_at(long line, const std::string& what) const;

private:
    void fill();
    void check_length(std::size_t length) const;

    struct chain;
    std::string name_;
    bool gz_, bz2_;
    std::unique_ptr<chain> chain_;
    int descriptor_ = -1;       // of the file under the chain, which owns it
    std::uint64_t size_ = 0;
    // Left uninitialised: only the bytes read are touched, which keeps small files cheap.
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t line_limit_;
    std::string limit_why_;
    std::size_t begin_ = 0;     // start of the unread data
    std::size_t end_ = 0;       // end of the data held
    bool at_end_ = false;
    bool terminated_ = false;
    long line_ = 0;
};

}  // namespace input
