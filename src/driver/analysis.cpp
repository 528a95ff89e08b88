#include "driver/analysis.hpp"

#include <condition_variable>
#include <deque>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/progress.hpp"
#include "input/snp_reader.hpp"
#include "numeric/random.hpp"
#include "output/output_files.hpp"
#include "output/snp_result.hpp"
#include "state/data.hpp"

namespace {

// The seed of SNP `number`'s own generator under -snp_seeds: its 32-bit word is the run seed's
// word plus (number - 1) times 2654435769 (2^32 over the golden ratio, odd), modulo 2^32, so
// that SNP 1 draws as a run of one SNP with the run's seed and every SNP's draws depend on the
// SNP's position in the file alone.
double snp_seed(double run_seed, int number)
{
    const std::uint32_t step = 2654435769u;
    const std::uint32_t word = MT::seed_word(run_seed) + static_cast<std::uint32_t>(number - 1) * step;
    // Half a unit above the word: exact in a double and read back as the word by MT.
    return (static_cast<double>(word) + 0.5) / 4294967296.0;
}

// The analysis of the SNP in d.current, as the result files give it.
void analyse(data& d, snp_result& out)
{
    d.log() << std::endl << "snp " << d.snp_number << " [" << d.current.rs << "] " << std::endl;
    d.v1();
    make_snp_result(d.cfg, d.cohorts, d.current, d.current_result, d.result_calls, d.diploid_probs,
                    d.params_trace.str(), out);
}

// The detailed console output of a SNP analysed off the main thread, kept until its turn.
struct console_text {
    std::ostringstream text;
    std::ostream null{nullptr};   // discards everything
    console_text() { text.precision(10); }
};

void analyse_here(const settings& cfg, input::snp_reader& reader, result_writer& writer, std::ostream* console,
                  progress_report* progress)
{
    std::ostream null(nullptr);
    data d(cfg, reader.cohorts(), console ? *console : null);
    // Without -snp_seeds, one generator draws for every SNP in turn.
    MT run_generator(cfg.seed);
    Random::Set(run_generator);
    std::optional<MT> snp_generator;
    snp_result out;
    while (reader.next(d.current, d.snp_number)) {
        if (cfg.snp_seeds) {
            snp_generator.emplace(snp_seed(cfg.seed, d.snp_number));
            Random::Set(*snp_generator);
        }
        analyse(d, out);
        writer.write(out);
        if (progress) progress->snp_done(d.snp_number);
    }
}

// Worker threads, each with its own analysis state and generator, fed SNPs in file order and
// handing back their results by place in that order.
class worker_pool {
public:
    struct result {
        int number = 0;
        snp_result out;
        std::string console;
        std::exception_ptr error;
    };

    worker_pool(const settings& cfg, const cohort_description& cohorts, bool keep_console)
        : cfg_(cfg), cohorts_(cohorts), keep_console_(keep_console)
    {
        for (int t = 0; t < cfg.threads; ++t) threads_.emplace_back([this] { work(); });
    }
    ~worker_pool()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_ready_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    worker_pool(const worker_pool&) = delete;
    worker_pool& operator=(const worker_pool&) = delete;

    void submit(snp&& record, int number)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back({submitted_++, number, std::move(record)});
        }
        work_ready_.notify_one();
    }
    // The result of the next SNP in submission order, once it is there.
    result take()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        result_ready_.wait(lock, [this] { return results_.count(taken_) != 0; });
        result r = std::move(results_[taken_]);
        results_.erase(taken_++);
        return r;
    }
    std::size_t in_flight() const { return submitted_ - taken_; }

private:
    struct job {
        std::size_t place;
        int number;
        snp record;
    };

    void work()
    {
        console_text console;
        data d(cfg_, cohorts_, keep_console_ ? static_cast<std::ostream&>(console.text) : console.null);
        for (;;) {
            job j;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (stopping_) return;
                j = std::move(jobs_.front());
                jobs_.pop_front();
            }
            result r;
            r.number = j.number;
            try {
                console.text.str(std::string());
                d.current = std::move(j.record);
                d.snp_number = j.number;
                MT generator(snp_seed(cfg_.seed, j.number));
                Random::Set(generator);
                analyse(d, r.out);
                r.console = console.text.str();
            } catch (...) {
                r.error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                results_.emplace(j.place, std::move(r));
            }
            result_ready_.notify_all();
        }
    }

    const settings& cfg_;
    const cohort_description& cohorts_;
    const bool keep_console_;
    std::mutex mutex_;
    std::condition_variable work_ready_, result_ready_;
    std::deque<job> jobs_;
    std::map<std::size_t, result> results_;
    std::size_t submitted_ = 0, taken_ = 0;   // touched by the main thread only
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

void analyse_in_pool(const settings& cfg, input::snp_reader& reader, result_writer& writer, std::ostream* console,
                     progress_report* progress)
{
    worker_pool pool(cfg, reader.cohorts(), console != nullptr);
    const auto most_in_flight = static_cast<std::size_t>(2 * cfg.threads);
    bool more = true;
    for (;;) {
        while (more && pool.in_flight() < most_in_flight) {
            snp record;
            int number = 0;
            more = reader.next(record, number);
            if (more) pool.submit(std::move(record), number);
        }
        if (pool.in_flight() == 0) return;
        worker_pool::result r = pool.take();
        if (r.error) std::rethrow_exception(r.error);
        if (console) *console << r.console << std::flush;
        writer.write(r.out);
        if (progress) progress->snp_done(r.number);
    }
}

}  // namespace

void analyse_snps(const settings& cfg, input::snp_reader& reader, result_writer& writer, std::ostream* console,
                  progress_report* progress)
{
    if (cfg.threads == 1)
        analyse_here(cfg, reader, writer, console, progress);
    else
        analyse_in_pool(cfg, reader, writer, console, progress);
}
