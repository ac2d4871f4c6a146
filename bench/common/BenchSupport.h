#ifndef MOX_BENCH_SUPPORT_H
#define MOX_BENCH_SUPPORT_H

#include <functional>
#include <string>

// A private database directory (also the working directory) for one
// benchmark run; the system is stopped with force and the directory removed
// when it goes out of scope.
class BenchDatabase {
  public:
    BenchDatabase();
    ~BenchDatabase();
    BenchDatabase(const BenchDatabase&) = delete;
    BenchDatabase& operator=(const BenchDatabase&) = delete;

    const std::string& directory() const { return path; }

  private:
    std::string path;
    std::string previousWorkingDirectory;
};

// Nanoseconds per call of operation, measured over iterations calls after a
// short warm-up.
double nanosecondsPerCall(long iterations, const std::function<void()>& operation);

// Creates the lock list, the buffer pool and the log file handling of a
// started system, without a catalog.
void startSets();

// Seconds that work takes, by the monotonic clock.
double secondsOf(const std::function<void()>& work);

// Ends the process's transaction as a committing program does: the record
// manager's COMMIT entry, the buffer manager's commit, the locks released,
// a new transaction.
void commitTransaction();

// Prints "label: a ns, b ns, ratio a/b" on one line.
void printRatio(const std::string& label, double measured, double baseline);

#endif
