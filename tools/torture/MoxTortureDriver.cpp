// Long runs of the crash torture and of the load, by hand:
//
//   MoxTortureDriver crash <cycles> [workers] [cycles per database] [seed]
//   MoxTortureDriver load <processes> <seconds> [seed]
//
// Each run works in a new directory under the current one (its database and
// working directory), which it removes when it ends without a problem. A
// crash run starts over on a new database every few cycles, so that
// recovery, which reads the whole log, stays quick. Exit code 0 when every
// cycle (or the load) came through, 1 at the first problem, which is printed.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "MoxSupport.h"
#include "MoxTortureRun.h"

namespace {

int usage() {
    std::cerr << "usage: MoxTortureDriver crash <cycles> [workers] [cycles per database] [seed]\n"
                 "       MoxTortureDriver load <processes> <seconds> [seed]"
              << std::endl;
    return 2;
}

// Makes a new empty directory the database and working directory.
void enter(const std::filesystem::path& directory) {
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
    setenv("MOX_DATABASE_PATH", directory.c_str(), 1);
}

int report(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems) std::cout << "  " << problem << "\n";
    return problems.empty() ? 0 : 1;
}

int crash(int cycles, MoxTortureRun::Options options, int cyclesPerDatabase, const std::filesystem::path& directory) {
    MoxTortureRun run(options);
    const auto start = std::chrono::steady_clock::now();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (cycle % cyclesPerDatabase == 0) {
            if (cycle > 0) MoxTortureRun::finish();
            enter(directory);
            run.prepare();
        }
        const std::vector<std::string> problems = run.crashCycle();
        if (!problems.empty()) {
            std::cout << "cycle " << cycle + 1 << " failed (database kept in " << directory << "):" << std::endl;
            MoxTortureRun::finish();
            return report(problems);
        }
        if ((cycle + 1) % 10 == 0 || cycle + 1 == cycles) {
            std::cout << cycle + 1 << " cycles survived" << std::endl;
        }
    }
    MoxTortureRun::finish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << cycles << " crash cycles survived with " << options.workers << " workers in " << seconds << " s"
              << std::endl;
    return 0;
}

int load(int processes, int seconds, MoxTortureRun::Options options) {
    MoxTortureRun run(options);
    run.prepare();
    MoxTortureWorker::Stats total;
    const std::vector<std::string> problems = run.load(processes, seconds, total);
    MoxTortureRun::finish();
    std::cout << processes << " processes, " << seconds << " s: " << total.commits << " commits ("
              << static_cast<double>(total.commits) / seconds << " per second), " << total.rollbacks << " rollbacks, "
              << total.deadlocks << " deadlocks, " << total.timeOuts << " lock time-outs, " << total.conflicts
              << " keys inserted meanwhile by another transaction" << std::endl;
    if (!problems.empty()) std::cout << "the tables do not match the journals:" << std::endl;
    return report(problems);
}

}  // namespace

int main(int argc, char** argv) {
    MoxError error;
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    MoxTortureRun::Options options;
    const std::filesystem::path directory = std::filesystem::current_path() / ("torture." + std::to_string(getpid()));
    int result = 1;
    try {
        if (mode == "crash") {
            options.workers = argc > 3 ? atoi(argv[3]) : 3;
            const int cyclesPerDatabase = argc > 4 ? atoi(argv[4]) : 25;
            options.seed = argc > 5 ? static_cast<unsigned>(atoi(argv[5])) : static_cast<unsigned>(getpid());
            if (options.workers < 1 || cyclesPerDatabase < 1) return usage();
            result = crash(atoi(argv[2]), options, cyclesPerDatabase, directory);
        } else if (mode == "load" && argc >= 4) {
            options.seed = argc > 4 ? static_cast<unsigned>(atoi(argv[4])) : static_cast<unsigned>(getpid());
            // A larger key space: conflicts stay the exception under load.
            options.keySpace = 2000;
            enter(directory);
            result = load(atoi(argv[2]), atoi(argv[3]), options);
        } else {
            return usage();
        }
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        MoxTortureRun::finish();
    } catch (const std::exception& failure) {
        std::cerr << failure.what() << std::endl;
    }
    if (result == 0) {
        std::filesystem::current_path(directory.parent_path());
        std::filesystem::remove_all(directory);
    }
    return result;
}
