#ifndef COMPARE_RESULT_TABLE_H
#define COMPARE_RESULT_TABLE_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Measurement.h"

// The runs of every workload on every engine, printed as one Markdown
// table: per workload and engine the median run (by time) with operations
// per second and microseconds per operation, on the subject engine's row
// its throughput divided by the best other engine's, the spread of the
// runs, retries and failures. Failed runs do not count for the median.
// With several processes, microseconds per operation is the wall time
// divided by the operations of all.
class ResultTable {
  public:
    ResultTable(std::vector<std::string> engines, std::string subject);

    void add(const std::string& engine, const Measurement& measurement);

    void printHeading() const;
    void printRows(const std::string& workload) const;

  private:
    struct Cell {
        std::vector<Measurement> runs;
    };
    struct Summary {
        bool measured = false;  // at least one run succeeded
        double operationsPerSecond = 0;
        double microsecondsPerOperation = 0;
        double spread = 0;  // (slowest - fastest) / median time
        std::string remarks;
    };

    Summary summarize(const Cell& cell) const;
    // The throughput of the subject over the best other engine's, and which
    // that is; empty when either is missing.
    std::string ratio(const std::string& workload) const;

    std::vector<std::string> engines;
    std::string subject;
    std::map<std::pair<std::string, std::string>, Cell> cells;  // by workload and engine
};

#endif
