#ifndef MOX_TORTURE_RUN_H
#define MOX_TORTURE_RUN_H

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "MoxTortureOracle.h"
#include "MoxTortureWorker.h"

// Runs the crash torture and the load on one database: the database
// directory is MOX_DATABASE_PATH and the working directory (where the log
// files and the workers' journals go). Every piece of work on the database
// runs in a forked child, so that this process never holds a manager whose
// pages a crash would have to lose.
//
// A crash cycle: worker processes (MoxTortureWorker) run random
// transactions until, at a random moment, every one is killed with SIGKILL;
// the system is stopped with force (the pool and its dirty pages are gone),
// started again and recovered, and the tables must hold exactly what the
// journals and the log say was committed, with sound indexes, and the
// integrity check of the whole database must find nothing. The workers
// limit the pool's frames differently, so that pages are written in the
// middle of transactions.
class MoxTortureRun {
  public:
    struct Options {
        int workers = 3;
        Sint32 keySpace = 150;
        unsigned seed = 1;
        // How long the workers run before the crash, at random in between.
        int minMillis = 40;
        int maxMillis = 400;
    };

    explicit MoxTortureRun(const Options& options);

    // Starts the system on an empty database and creates the tables. The
    // system stays started.
    void prepare();
    // One crash cycle; the problems it found, none when the database came
    // through.
    std::vector<std::string> crashCycle();
    // processes workers for the given time, then the comparison without a
    // crash; their counts are added to total.
    std::vector<std::string> load(int processes, int seconds, MoxTortureWorker::Stats& total);
    // Stops the system with force.
    static void finish();

    // Runs body in a forked child and returns its exit code (128 + the
    // signal if it was killed); an exception that leaves body is printed
    // and ends the child with 2.
    static int inChild(const std::function<int()>& body);

  private:
    typedef std::function<MoxTortureWorker::Stats(MoxTortureWorker&)> WorkerBody;
    // Forks the workers; each runs body with its own seed, journal and
    // frame limit.
    std::vector<pid_t> startWorkers(int count, const WorkerBody& body);
    static std::string journalOf(int worker) { return "journal." + std::to_string(worker); }
    // Applies the journals of the last workers to the model and removes them.
    void takeJournals(int workers, const MoxLsn& since, std::vector<std::string>& problems);
    // In a child: recovers first after a crash, then compares every table
    // with the model.
    void compare(bool recoverFirst, std::vector<std::string>& problems);

    Options options;
    std::mt19937 random;
    MoxTortureOracle::Model model;
};

#endif
