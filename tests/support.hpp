#pragma once
// What the tests share: a scratch folder, files written plain or compressed, the console
// captured, the built program run as a user runs it, and the Kolmogorov–Smirnov statistic.
#include <sys/wait.h>

#include <boost/iostreams/device/file.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace support {

namespace fs = std::filesystem;

// A folder of its own, removed with everything in it at destruction. The program runs in
// `work()`; its captured console goes beside it, so `work()` holds only what the test and the
// program put there.
class scratch {
public:
    scratch()
    {
        std::string name = (fs::temp_directory_path() / "tarvix_test_XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a scratch folder");
        root_ = name;
        fs::create_directory(root_ / "work");
    }
    ~scratch()
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    fs::path root() const { return root_; }
    fs::path work() const { return root_ / "work"; }
    std::string file(const std::string& name) const { return (work() / name).string(); }

private:
    fs::path root_;
};

enum class packing { plain, gzip, bzip2, bzip2_of_gzip };

// Writes `content` packed as asked (bzip2_of_gzip: bzip2 around gzip) and returns the name.
inline std::string write_file(const fs::path& name, const std::string& content, packing p = packing::plain)
{
    namespace io = boost::iostreams;
    io::filtering_ostream out;
    if (p == packing::gzip || p == packing::bzip2_of_gzip) out.push(io::gzip_compressor());
    if (p == packing::bzip2 || p == packing::bzip2_of_gzip) out.push(io::bzip2_compressor());
    out.push(io::file_sink(name.string(), std::ios::out | std::ios::binary));
    out << content;
    out.reset();
    return name.string();
}

inline std::string read_file(const fs::path& name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + name.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Whitespace-separated fields of a text.
inline std::vector<std::string> fields_of(const std::string& text)
{
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string f; in >> f;) fields.push_back(f);
    return fields;
}

inline std::string source_file(const std::string& relative) { return (fs::path(TARVIX_SOURCE_DIR) / relative).string(); }

inline std::set<std::string> listing(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Standard output and standard error captured while alive.
class console_capture {
public:
    console_capture() : out_old_(std::cout.rdbuf(out_.rdbuf())), err_old_(std::cerr.rdbuf(err_.rdbuf())) {}
    ~console_capture()
    {
        std::cout.rdbuf(out_old_);
        std::cerr.rdbuf(err_old_);
    }
    console_capture(const console_capture&) = delete;
    console_capture& operator=(const console_capture&) = delete;
    std::string out() const { return out_.str(); }
    std::string err() const { return err_.str(); }

private:
    std::ostringstream out_, err_;
    std::streambuf* out_old_;
    std::streambuf* err_old_;
};

struct result {
    int status = -1;   // exit status; -1 when the program did not exit normally
    std::string out, err;
};

inline std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the built program with `args` in the scratch folder's work folder and waits for it.
inline result run(const scratch& s, const std::vector<std::string>& args, const std::string& program = TARVIX_BINARY)
{
    std::string command = "cd " + quoted(s.work().string()) + " && " + quoted(program);
    for (const std::string& a : args) command += " " + quoted(a);
    const fs::path out = s.root() / "stdout", err = s.root() / "stderr";
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
}

// Kolmogorov–Smirnov statistic of a sample against a continuous distribution function. Equal
// values count as one step, compared below the step with the function one ulp lower: draws that
// rounding merged into one double (Beta draws within an ulp of 1) are judged by their interval.
inline double ks_statistic(std::vector<double> sample, const std::function<double(double)>& cdf)
{
    std::sort(sample.begin(), sample.end());
    const double n = static_cast<double>(sample.size());
    double d = 0.0;
    for (std::size_t i = 0; i < sample.size();) {
        std::size_t j = i;
        while (j < sample.size() && sample[j] == sample[i]) ++j;
        const double below = j - i > 1 ? cdf(std::nextafter(sample[i], -INFINITY)) : cdf(sample[i]);
        d = std::max({d, j / n - cdf(sample[i]), below - i / n});
        i = j;
    }
    return d;
}

// Critical value of the statistic at significance 0.001 for n independent draws.
inline double ks_critical(double n) { return 1.95 / std::sqrt(n); }

}  // namespace support
