// Runs the same workloads on Mox and on the embedded engines its users
// would pick instead, each run on a new database in a process of its own,
// and prints one table of the medians. See README.md beside this file.

#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BerkeleyDbEngine.h"
#include "Clock.h"
#include "IsolatedRun.h"
#include "LmdbEngine.h"
#include "MoxEngine.h"
#include "ResultTable.h"
#include "SqliteEngine.h"
#include "Workloads.h"

namespace {

const char* const usage =
    "usage: compare [--quick] [--runs N] [--engines mox,sqlite,lmdb,bdb] [--workloads W1,W6,...]\n"
    "               [--rows N] [--directory DIR]\n"
    "  --quick      a tenth of the rows and one run: a smoke run of a minute or less\n"
    "  --runs N     runs of each workload on each engine, the median printed (default 3)\n"
    "  --engines    the engines to run (default all)\n"
    "  --workloads  the workloads to run (default all; W3 and W4 run with W1)\n"
    "  --rows N     rows of the W1 table (default 100000), for W1's series of sizes\n"
    "  --directory  where the temporary databases go (default $TMPDIR or /tmp)\n";

struct Options {
    bool quick = false;
    int runs = 3;
    long rows = 0;  // W1's table size when given
    std::vector<std::string> engines;
    std::vector<std::string> workloads;
    std::string directory;
};

std::vector<std::string> splitLowerCase(const std::string& list) {
    std::vector<std::string> words;
    std::istringstream items(list);
    for (std::string word; std::getline(items, word, ',');) {
        std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
        if (!word.empty()) words.push_back(word);
    }
    return words;
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--quick") {
            options.quick = true;
        } else if (argument == "--runs" && hasValue) {
            options.runs = atoi(argv[++i]);
            if (options.runs < 1) return false;
        } else if (argument == "--engines" && hasValue) {
            options.engines = splitLowerCase(argv[++i]);
        } else if (argument == "--workloads" && hasValue) {
            options.workloads = splitLowerCase(argv[++i]);
        } else if (argument == "--rows" && hasValue) {
            options.rows = atol(argv[++i]);
            if (options.rows < 1) return false;
        } else if (argument == "--directory" && hasValue) {
            options.directory = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

// The short name an --engines list uses: "Berkeley DB" is "bdb".
std::string shortName(const Engine& engine) {
    std::string name = engine.name();
    if (name == "Berkeley DB") return "bdb";
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
}

bool wanted(const std::vector<std::string>& list, const std::string& name) {
    return list.empty() || std::find(list.begin(), list.end(), name) != list.end();
}

bool wanted(const Options& options, const Workloads::Scenario& scenario) {
    for (const Workloads::Workload& workload : scenario.workloads) {
        std::string number = workload.label.substr(0, workload.label.find(' '));
        std::transform(number.begin(), number.end(), number.begin(), [](unsigned char c) { return std::tolower(c); });
        if (wanted(options.workloads, number)) return true;
    }
    return false;
}

// The measurement of the workload among those of one run; the run's own
// failure where it has none.
Measurement measurementOf(const std::string& workload, const std::vector<Measurement>& measurements) {
    Measurement result;
    result.workload = workload;
    result.failure = "no result";
    for (const Measurement& measurement : measurements) {
        if (measurement.workload == workload) return measurement;
        if (measurement.workload.empty()) result.failure = measurement.failure;
    }
    return result;
}

std::string loadAverage() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3) return "unknown";
    char text[64];
    snprintf(text, sizeof(text), "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

// CPU seconds that every process of the machine has used so far, from
// the first line of /proc/stat (user, nice, system, irq, softirq, steal).
double machineBusySeconds() {
    FILE* stat = fopen("/proc/stat", "r");
    if (stat == nullptr) return 0;
    unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    int fields = fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system, &idle, &iowait,
                        &irq, &softirq, &steal);
    fclose(stat);
    if (fields != 8) return 0;
    return static_cast<double>(user + nice + system + irq + softirq + steal) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU seconds of this process and of the processes it and they have waited for.
double ownBusySeconds() {
    double seconds = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage;
        getrusage(who, &usage);
        for (const timeval& time : {usage.ru_utime, usage.ru_stime}) {
            seconds += static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
        }
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        fputs(usage, stderr);
        return 2;
    }
    Workloads::Sizes sizes;
    if (options.quick) {
        sizes.bulkRows /= 10;
        sizes.smallTransactions /= 10;
        sizes.names /= 10;
        sizes.rowsPerProcess /= 10;
        options.runs = 1;
    }
    if (options.rows > 0) {
        sizes.bulkRows = options.rows;
    }
    const int timeLimitSeconds = options.quick ? 120 : 300;

    std::vector<std::unique_ptr<Engine>> engines;
    engines.push_back(std::make_unique<MoxEngine>());
    engines.push_back(std::make_unique<SqliteEngine>());
    engines.push_back(std::make_unique<LmdbEngine>());
    engines.push_back(std::make_unique<BerkeleyDbEngine>());
    engines.erase(std::remove_if(engines.begin(), engines.end(),
                                 [&](const std::unique_ptr<Engine>& engine) {
                                     return !wanted(options.engines, shortName(*engine));
                                 }),
                  engines.end());
    std::vector<std::string> names;
    for (const auto& engine : engines) names.push_back(engine->name());

    if (options.directory.empty()) options.directory = getenv("TMPDIR") != nullptr ? getenv("TMPDIR") : "/tmp";
    std::string parent = options.directory + "/compare.XXXXXX";
    if (mkdtemp(parent.data()) == nullptr) {
        perror(parent.c_str());
        return 1;
    }
    IsolatedRun::stopOnSignals();

    const Workloads workloads(sizes);
    ResultTable table(names, "Mox");
    printf(
        "%ld rows of 100 bytes (W1, W3, W4), %ld transactions (W2), %ld varchar keys (W5), %ld rows per process in "
        "transactions of %ld (W6, W7); median of %d run%s; load average at the start %s\n\n",
        sizes.bulkRows, sizes.smallTransactions, sizes.names, sizes.rowsPerProcess, sizes.rowsPerTransaction,
        options.runs, options.runs == 1 ? "" : "s", loadAverage().c_str());
    table.printHeading();
    const double start = monotonicSeconds();
    const double othersBefore = machineBusySeconds() - ownBusySeconds();
    for (const Workloads::Scenario& scenario : workloads.scenarios()) {
        if (!wanted(options, scenario) || IsolatedRun::stopped()) continue;
        for (int run = 1; run <= options.runs && !IsolatedRun::stopped(); ++run) {
            for (const auto& engine : engines) {
                const double begun = monotonicSeconds();
                std::vector<Measurement> measurements =
                    IsolatedRun::run(*engine, scenario.run, parent, timeLimitSeconds);
                for (const Workloads::Workload& workload : scenario.workloads) {
                    table.add(engine->name(), measurementOf(workload.label, measurements));
                }
                fprintf(stderr, "%s: %s, run %d of %d, %.1f s\n", scenario.workloads.front().label.c_str(),
                        engine->name(), run, options.runs, monotonicSeconds() - begun);
            }
        }
        for (const Workloads::Workload& workload : scenario.workloads) table.printRows(workload.label);
    }
    const double elapsed = monotonicSeconds() - start;
    // What other processes took from the machine meanwhile: the measure of
    // how disturbed the figures are.
    const double others = machineBusySeconds() - ownBusySeconds() - othersBefore;
    printf("\nelapsed %.0f s; load average at the end %s; other processes used %.2f of the %ld cores meanwhile\n",
           elapsed, loadAverage().c_str(), elapsed > 0 ? others / elapsed : 0.0, sysconf(_SC_NPROCESSORS_ONLN));
    std::error_code ignored;
    std::filesystem::remove_all(parent, ignored);
    return IsolatedRun::stopped() ? 1 : 0;
}
