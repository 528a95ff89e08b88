#pragma once
#include <htslib/hts_log.h>

// htslib reports its own failures on standard error; the run reports them as one line itself.
// While alive, htslib says nothing.
class quiet_htslib {
public:
    quiet_htslib() : old_(hts_get_log_level()) { hts_set_log_level(HTS_LOG_OFF); }
    ~quiet_htslib() { hts_set_log_level(old_); }
    quiet_htslib(const quiet_htslib&) = delete;
    quiet_htslib& operator=(const quiet_htslib&) = delete;

private:
    htsLogLevel old_;
};
