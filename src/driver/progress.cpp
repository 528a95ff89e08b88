#include "driver/progress.hpp"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>

#include "input/snp_reader.hpp"

namespace {

// Hours, minutes and seconds, as 1:02:03 or 2:03.
std::string clock_time(double seconds)
{
    const long s = std::lround(seconds);
    std::ostringstream out;
    out << std::setfill('0');
    if (s >= 3600) out << s / 3600 << ':' << std::setw(2);
    out << (s / 60) % 60 << ':' << std::setw(2) << s % 60;
    return out.str();
}

}  // namespace

progress_report::progress_report(const input::snp_reader& reader, std::ostream& out)
    : reader_(reader), out_(out), start_(std::chrono::steady_clock::now())
{
}

void progress_report::snp_done(int number)
{
    const int read = reader_.snps_read();
    ++done_;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = elapsed > 0 ? done_ / elapsed : 0;
    double total = read;
    const double share = reader_.share_read();   // 0: unknown
    if (share > 0) total = std::max(total, read / share);
    const bool known = share > 0 || reader_.range_snps() > 0;
    if (reader_.range_snps() > 0) total = std::min(total, static_cast<double>(reader_.range_snps()));
    std::ostringstream line;
    line << "SNP " << number << " done: " << done_ << (done_ == 1 ? " SNP, " : " SNPs, ") << std::fixed
         << std::setprecision(2) << rate << " SNPs/s";
    if (rate > 0 && known && total > done_) line << ", about " << clock_time((total - done_) / rate) << " left";
    out_ << line.str() << std::endl;
}
