#include "output/result_set.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "state/error.hpp"

namespace {

const int interrupting_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporaries and lock of the live set, for the signal handler: written before the handlers
// are installed and cleared before the set goes, so the handler only reads stable strings.
std::atomic<const std::vector<std::string>*> pending_removal{nullptr};

extern "C" void remove_temporaries_and_stop(int signal)
{
    if (const std::vector<std::string>* names = pending_removal.load())
        for (const std::string& name : *names) ::unlink(name.c_str());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool ends_with(const std::string& s, const char* end)
{
    const std::size_t n = std::strlen(end);
    return s.size() >= n && s.compare(s.size() - n, n, end) == 0;
}

}  // namespace

result_set::result_set(const std::string& prefix, std::vector<std::string> names)
    : lock_name_(prefix + ".lock")
{
    try {
        open(prefix, std::move(names));
    } catch (...) {
        release();
        throw;
    }
}

void result_set::open(const std::string& prefix, std::vector<std::string> names)
{
    // The lock file is removed by the run that held it, so a lock taken on a file another run
    // has just removed is taken again on the file now there.
    for (;;) {
        lock_fd_ = ::open(lock_name_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (lock_fd_ < 0) {
            const int e = errno;
            if (e == ENAMETOOLONG) throw run_error("output file name too long: " + lock_name_);
            throw run_error("cannot create output file " + lock_name_ + ": " + std::strerror(e));
        }
        if (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(lock_fd_);
            lock_fd_ = -1;
            throw run_error("another tarvix++ run is writing the results of the prefix " + prefix + " (it holds " +
                            lock_name_ + ")");
        }
        struct stat held {}, present {};
        if (::fstat(lock_fd_, &held) == 0 && ::stat(lock_name_.c_str(), &present) == 0 && held.st_ino == present.st_ino &&
            held.st_dev == present.st_dev)
            break;
        ::close(lock_fd_);
    }
    for (std::string& name : names) {
        file f;
        f.name = std::move(name);
        struct stat st {};
        if (::stat(f.name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw run_error("output file " + f.name + " is a directory");
        const std::string stem = f.name + "." + std::to_string(::getpid());
        for (int attempt = 0; f.fd < 0; ++attempt) {
            f.temporary = stem + (attempt ? "-" + std::to_string(attempt) : std::string()) + ".partial";
            f.fd = ::open(f.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (f.fd < 0 && (errno != EEXIST || attempt == 100)) {
                const int e = errno;
                if (e == ENAMETOOLONG) throw run_error("output file name too long: " + f.name);
                throw run_error("cannot create output file " + f.name + ": " + std::strerror(e));
            }
        }
        files_.push_back(std::move(f));
        removal_.push_back(files_.back().temporary);
    }
    removal_.push_back(lock_name_);
    pending_removal.store(&removal_);
    for (int s : interrupting_signals) std::signal(s, remove_temporaries_and_stop);
}

result_set::~result_set() { release(); }

void result_set::release()
{
    for (int s : interrupting_signals) std::signal(s, SIG_DFL);
    pending_removal.store(nullptr);
    for (file& f : files_) {
        if (f.fd >= 0) ::close(f.fd);
        if (!committed_) ::unlink(f.temporary.c_str());
    }
    if (lock_fd_ >= 0) {
        ::unlink(lock_name_.c_str());
        ::close(lock_fd_);
        lock_fd_ = -1;
    }
    files_.clear();
}

void result_set::fail(const file& f, const std::string& what) const
{
    throw run_error(f.name + ": " + what + ": " + std::strerror(errno));
}

std::size_t result_set::index_of(const std::string& name, int copy) const
{
    for (std::size_t i = 0; i < files_.size(); ++i)
        if (files_[i].name == name && copy-- == 0) return i;
    throw run_error("output: " + name + " is not a result file of this run");
}

void result_set::discard(std::size_t i)
{
    file& f = files_[i];
    if (f.fd >= 0) ::close(f.fd);
    f.fd = -1;
    ::unlink(f.temporary.c_str());
    f.discarded = true;
}

int result_set::take_descriptor(std::size_t i)
{
    const int fd = files_[i].fd;
    files_[i].fd = -1;
    return fd;
}

void result_set::write(std::size_t i, const std::string& text)
{
    file& f = files_[i];
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(f.fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(f, "cannot write");
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void result_set::commit()
{
    // Flushed to the device before any rename, so that a crash cannot leave a final name empty.
    for (file& f : files_) {
        const int fd = f.fd;
        if (fd < 0) continue;   // handed to another writer, which closed it
        f.fd = -1;
        // Closed whether or not the flush failed, so that no descriptor leaks.
        const bool flushed = ::fsync(fd) == 0 || errno == EINVAL;
        const bool closed = ::close(fd) == 0;
        if (!flushed || !closed) fail(f, "cannot write");
    }
    for (const file& f : files_) {
        if (f.discarded) continue;
        struct stat st {};
        if (::stat(f.name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            fail(f, "cannot rename " + f.temporary + " into place");
        }
    }
    // No signal may end the run half way through the renames.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : interrupting_signals) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    for (const file& f : files_)
        if (ends_with(f.name, ".csi") && ::unlink(f.name.c_str()) != 0 && errno != ENOENT) {
            sigprocmask(SIG_SETMASK, &old, nullptr);
            fail(f, "cannot replace");
        }
    for (const file& f : files_)
        if (!f.discarded && std::rename(f.temporary.c_str(), f.name.c_str()) != 0) {
            sigprocmask(SIG_SETMASK, &old, nullptr);
            fail(f, "cannot rename " + f.temporary + " into place");
        }
    committed_ = true;
    removal_.resize(1);
    removal_.front() = lock_name_;
    sigprocmask(SIG_SETMASK, &old, nullptr);
}
