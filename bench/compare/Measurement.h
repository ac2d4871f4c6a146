#ifndef COMPARE_MEASUREMENT_H
#define COMPARE_MEASUREMENT_H

#include <string>

// One workload timed once on one engine.
struct Measurement {
    std::string workload;
    double seconds = 0;
    long operations = 0;
    long retries = 0;     // transactions that failed retryably and ran again
    std::string failure;  // why the run stopped; empty when it did not
};

#endif
