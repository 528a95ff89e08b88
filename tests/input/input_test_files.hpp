#pragma once
// Small input files in a private temporary directory, and capture of the console.
#include <boost/iostreams/device/file.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace input_test {

enum class packing { plain, gzip, bzip2, bzip2_of_gzip };

class temp_dir {
public:
    temp_dir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "tarvix_input_XXXXXX").string();
        std::vector<char> name(templ.begin(), templ.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary directory");
        path_ = name.data();
    }
    ~temp_dir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    // Writes `content` to the file `name`, packed as asked, and returns its full name.
    std::string write(const std::string& name, const std::string& content, packing p = packing::plain) const
    {
        namespace io = boost::iostreams;
        const std::string full = (path_ / name).string();
        io::filtering_ostream out;
        // Written text passes the filters in the order pushed: bzip2_of_gzip gives bzip2(gzip(text)).
        if (p == packing::gzip || p == packing::bzip2_of_gzip)
            out.push(io::gzip_compressor());
        if (p == packing::bzip2 || p == packing::bzip2_of_gzip)
            out.push(io::bzip2_compressor());
        out.push(io::file_sink(full, std::ios::out | std::ios::binary));
        out << content;
        out.reset();
        return full;
    }

    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Redirects standard output and standard error into strings while alive.
class console_capture {
public:
    console_capture() : old_out_(std::cout.rdbuf(out_.rdbuf())), old_err_(std::cerr.rdbuf(err_.rdbuf())) {}
    ~console_capture()
    {
        std::cout.rdbuf(old_out_);
        std::cerr.rdbuf(old_err_);
        std::cout.precision(6);
    }
    console_capture(const console_capture&) = delete;
    console_capture& operator=(const console_capture&) = delete;
    std::string out() const { return out_.str(); }
    std::string err() const { return err_.str(); }

private:
    std::ostringstream out_, err_;
    std::streambuf* old_out_;
    std::streambuf* old_err_;
};

// An intensity file of `n_snps` SNPs and `n_ind` individuals. SNP k (from 1) is named "snp<k>"
// with rs "rs<k>"; individual i's intensities are k + i/8 and k + 1/2 + i/8 (exact in binary).
inline std::string intensity_text(int n_snps, int n_ind, const std::string& id_prefix = "snp",
                                  const std::string& sample_prefix = "i")
{
    std::ostringstream t;
    t << "SNP_ID rs pos A B";
    for (int i = 0; i < n_ind; ++i)
        t << " " << sample_prefix << i << "a " << sample_prefix << i << "b";
    t << "\n";
    for (int k = 1; k <= n_snps; ++k) {
        t << id_prefix << k << " rs" << k << " 00" << 100 * k << " A G";
        for (int i = 0; i < n_ind; ++i)
            t << " " << k + i / 8.0 << " " << k + 0.5 + i / 8.0;
        t << "\n";
    }
    return t.str();
}

}  // namespace input_test
