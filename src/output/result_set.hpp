#pragma once
#include <string>
#include <vector>

// The result files of one run, replaced together: each is written to a temporary of its own in
// its folder (a unique name, created exclusively, never through a link), and only once all are
// complete are they renamed into place, one right after the other. Until then, and whenever the
// run fails, is interrupted (SIGINT, SIGTERM, SIGHUP) or runs out of memory, the earlier files of
// those names stay as they were and the temporaries are removed. A lock on the prefix keeps a
// second run from writing the same results at the same time.
class result_set {
public:
    // Takes the lock of `prefix` ("PREFIX.lock") and creates a temporary for every name.
    // Throws run_error naming the prefix when another live run holds its lock, or naming the
    // file that cannot be created.
    result_set(const std::string& prefix, std::vector<std::string> names);
    ~result_set();
    result_set(const result_set&) = delete;
    result_set& operator=(const result_set&) = delete;

    // Index of a final name (of its `copy`-th entry, when the set holds alternatives of one
    // file); throws when the name is not one of the set.
    std::size_t index_of(const std::string& name, int copy = 0) const;
    // Gives up the temporary of file i, an alternative that will not be needed: it is removed
    // and left out of the commit.
    void discard(std::size_t i);
    const std::string& temporary(std::size_t i) const { return files_[i].temporary; }
    // Hands the open temporary of file i to a writer that closes it itself.
    int take_descriptor(std::size_t i);
    // Appends text to the temporary of file i; throws run_error naming the file on failure.
    void write(std::size_t i, const std::string& text);
    // Flushes every temporary to the device and renames them into place in the set's order. An
    // index (".csi") of a data file of the set goes before the renames: an old index must never
    // describe the new file.
    void commit();

private:
    struct file {
        std::string name, temporary;
        int fd = -1;
        bool discarded = false;
    };
    void open(const std::string& prefix, std::vector<std::string> names);
    void release();
    [[noreturn]] void fail(const file& f, const std::string& what) const;
    std::string lock_name_;
    int lock_fd_ = -1;
    std::vector<file> files_;
    std::vector<std::string> removal_;   // what an interrupting signal removes: temporaries and lock
    bool committed_ = false;
};
