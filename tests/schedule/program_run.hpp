#pragma once
// Running the built program as a user would: a private scratch folder, the command's exit status,
// standard output and standard error, and reading and writing the files around it.
#include <sys/wait.h>

#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/file.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace program_run {

namespace fs = std::filesystem;

// A folder of its own, removed with everything in it at destruction. The program runs in
// `work()`; its captured console goes beside it, so `work()` holds only what the test and the
// program put there.
class scratch {
public:
    scratch()
    {
        std::string templ = (fs::temp_directory_path() / "tarvix_e2e_XXXXXX").string();
        std::vector<char> name(templ.begin(), templ.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a scratch folder");
        root_ = name.data();
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

struct result {
    int status = -1;   // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string read_file(const fs::path& name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + name.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const fs::path& name, const std::string& content)
{
    std::ofstream out(name, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + name.string());
}

inline std::string gunzip_file(const fs::path& name)
{
    namespace io = boost::iostreams;
    io::filtering_istream in;
    in.push(io::gzip_decompressor());
    in.push(io::file_source(name.string(), std::ios::in | std::ios::binary));
    std::ostringstream text;
    io::copy(in, text);
    return text.str();
}

inline void write_gzip(const fs::path& name, const std::string& content)
{
    namespace io = boost::iostreams;
    io::filtering_ostream out;
    out.push(io::gzip_compressor());
    out.push(io::file_sink(name.string(), std::ios::out | std::ios::binary));
    out << content;
    out.reset();
}

inline std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs `program` with `args` in `dir` through the shell and waits for it.
inline result run_in(const fs::path& dir, const std::string& program, const std::vector<std::string>& args,
                     const fs::path& capture)
{
    std::string command = "cd " + quoted(dir.string()) + " && " + quoted(program);
    for (const std::string& a : args) command += " " + quoted(a);
    const fs::path out = capture / "stdout", err = capture / "stderr";
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
    const int raw = std::system(command.c_str());
    result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

inline result run(const scratch& s, const std::vector<std::string>& args)
{
    return run_in(s.work(), TARVIX_BINARY, args, s.root());
}

inline std::set<std::string> listing(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Blank-separated fields of one line.
inline std::vector<std::string> fields_of(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; in >> f;) fields.push_back(f);
    return fields;
}

inline std::string source_file(const std::string& relative)
{
    return (fs::path(TARVIX_SOURCE_DIR) / relative).string();
}

}  // namespace program_run
