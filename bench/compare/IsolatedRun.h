#ifndef COMPARE_ISOLATED_RUN_H
#define COMPARE_ISOLATED_RUN_H

#include <functional>
#include <string>
#include <vector>

#include "Engine.h"
#include "Measurement.h"

// Runs one scenario of one engine in a forked process group of its own, on
// a new database directory, and collects its measurements. Afterwards,
// however the group ended, the engine releases what it keeps outside the
// directory and the directory is removed.
class IsolatedRun {
  public:
    using Scenario = std::function<std::vector<Measurement>(Engine& engine, const std::string& directory)>;

    // A group still running after timeLimitSeconds is killed. A failure of
    // the whole run comes back as one measurement with an empty workload.
    static std::vector<Measurement> run(Engine& engine, const Scenario& scenario, const std::string& parentDirectory,
                                        int timeLimitSeconds);

    // From now on SIGINT, SIGTERM, SIGHUP and SIGPIPE (the reader of the
    // table has gone) kill the running group, whose run then cleans up as
    // after any failure, and make stopped() true.
    static void stopOnSignals();
    static bool stopped();
};

#endif
