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
#include <system_error>
#include <thread>
#include <vector>

#include "driver/progress.hpp"
#include "input/scale.hpp"
#include "input/snp_reader.hpp"
#include "numeric/random.hpp"
#include "output/output_files.hpp"
#include "output/snp_result.hpp"
#include "state/data.hpp"
#include "state/error.hpp"

// The seed of a SNP's own generator under -snp_seeds: its 32-bit word is the run seed's word
// plus a step of the SNP's own, modulo 2^32, so that a SNP draws the same wherever it is
// analysed: alone, in a -snps range, in -r regions or among threads.
// - Text input: the step is (number - 1) times 2654435769 (2^32 over the golden ratio, odd),
//   `number` being the SNP's position among the file's SNP lines, so that SNP 1 draws as a run
//   of one SNP with the run's seed.
// - VCF/BCF input, where -r reads records without counting those before them: the step is the
//   64-bit FNV-1a hash of the text "CHROM:POS:REF:ALT:A:B" (ALT comma-separated; A and B the
//   ALLELE_A and ALLELE_B indices, in decimal), its high and low halves xor-ed: what makes two
//   cohorts' records one SNP, and nothing of the file around it.
double snp_seed(double run_seed, const snp& s, int number, bool vcf_input)
{
    std::uint32_t step = static_cast<std::uint32_t>(number - 1) * 2654435769u;
    if (vcf_input) {
        std::string identity = s.chrom + ":" + s.position + ":";
        for (std::size_t a = 0; a < s.alleles.size(); ++a) identity += (a == 0 ? "" : a == 1 ? ":" : ",") + s.alleles[a];
        identity += ":" + std::to_string(s.allele_a) + ":" + std::to_string(s.allele_b);
        std::uint64_t hash = 14695981039346656037u;
        for (const char c : identity) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
        step = static_cast<std::uint32_t>(hash >> 32) ^ static_cast<std::uint32_t>(hash);
    }
    const std::uint32_t word = MT::seed_word(run_seed) + step;
    // Half a unit above the word: exact in a double and read back as the word by MT.
    return (static_cast<double>(word) + 0.5) / 4294967296.0;
}

void check_scale(const settings& cfg, input::snp_reader& reader)
{
    input::check_scale(reader.read_ahead(input::scale_check_snps), cfg.input_files, cfg.scale);
}

namespace {

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
            snp_generator.emplace(snp_seed(cfg.seed, d.current, d.snp_number, reader.cohorts().vcf_input));
            Random::Set(*snp_generator);
        }
        analyse(d, out);
        writer.write(out);
        if (progress) progress->snp_done(d.snp_number);
    }
}

// Worker threads, each with its own analysis state and generator, fed SNPs in file order and
// handing back their results by place in that order. Every thread is started and has made its
// analysis state before the first SNP is handed out; a thread that cannot be started, or a
// failure outside a SNP's analysis, stops the pool with an error instead of ending the program.
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
        threads_.reserve(static_cast<std::size_t>(cfg.threads));
        try {
            for (int t = 0; t < cfg.threads; ++t) threads_.emplace_back([this] { work(); });
        } catch (const std::system_error& e) {
            const std::size_t started = threads_.size();
            stop();
            throw run_error("-threads " + std::to_string(cfg.threads) + ": only " + std::to_string(started) +
                            " threads could be started (" + e.code().message() +
                            "); run with fewer, or raise the limit that stopped them (ulimit -v, -s or -u)");
        } catch (...) {
            stop();
            throw;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        result_ready_.wait(lock, [this] { return failure_ || ready_ == threads_.size(); });
        if (failure_) {
            lock.unlock();
            stop();
            std::rethrow_exception(failure_);
        }
    }
    ~worker_pool() { stop(); }
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
        result_ready_.wait(lock, [this] { return failure_ || results_.count(taken_) != 0; });
        if (failure_) std::rethrow_exception(failure_);
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
    // What a thread holds from its start to its end.
    struct worker_state {
        console_text console;
        data d;
        worker_state(const settings& cfg, const cohort_description& cohorts, bool keep_console)
            : d(cfg, cohorts, keep_console ? static_cast<std::ostream&>(console.text) : console.null)
        {
        }
    };

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_ready_.notify_all();
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }

    void work()
    {
        try {
            worker_state w(cfg_, cohorts_, keep_console_);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++ready_;
            }
            result_ready_.notify_all();
            serve(w);
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!failure_) failure_ = std::current_exception();
            }
            result_ready_.notify_all();
        }
    }

    // A SNP's failure is its result's; anything else leaves to work().
    void serve(worker_state& w)
    {
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
                w.console.text.str(std::string());
                w.d.current = std::move(j.record);
                w.d.snp_number = j.number;
                MT generator(snp_seed(cfg_.seed, w.d.current, j.number, cohorts_.vcf_input));
                Random::Set(generator);
                analyse(w.d, r.out);
                r.console = w.console.text.str();
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
    std::size_t ready_ = 0;                   // threads that have made their analysis state
    std::exception_ptr failure_;              // the first failure outside a SNP's analysis
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
