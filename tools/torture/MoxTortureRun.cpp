#include "MoxTortureRun.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "MoxBuffer.h"
#include "MoxChecker.h"
#include "MoxSupport.h"

namespace {

const char* const problemsFile = "problems";

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

MoxTortureRun::MoxTortureRun(const Options& options) : options(options), random(options.seed) {}

int MoxTortureRun::inChild(const std::function<int()>& body) {
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        int code = 2;
        try {
            code = body();
        } catch (const MoxException& exception) {
            exception.print(std::cerr);
        } catch (const std::exception& failure) {
            std::cerr << failure.what() << std::endl;
        }
        fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return exitCodeOf(status);
}

void MoxTortureRun::prepare() {
    model = MoxTortureOracle::Model();
    const int code = inChild([] {
        MoxSystem::start();
        MoxTortureTables::create();
        MoxSystem::stopAllManagers();
        return 0;
    });
    if (code != 0) {
        throw std::runtime_error("the torture tables cannot be created: exit code " + std::to_string(code));
    }
}

void MoxTortureRun::finish() {
    MoxSystem::stop(true);
}

std::vector<pid_t> MoxTortureRun::startWorkers(int count, const WorkerBody& body) {
    // Some workers keep the pool to a few frames, so that victims are
    // written in the middle of transactions; others leave it whole.
    static const Uint16 frameLimits[] = {0, 12, 40, 150};
    std::vector<pid_t> workers;
    for (int worker = 0; worker < count; ++worker) {
        const unsigned seed = static_cast<unsigned>(random());
        const Uint16 frames = frameLimits[seed % 4];
        fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            int code = 2;
            try {
                MoxBufferManager::TEST_limitFrames(frames);
                MoxTortureWorker work(seed, journalOf(worker), options.keySpace);
                const MoxTortureWorker::Stats stats = body(work);
                std::ofstream("stats." + std::to_string(worker)) << stats.text() << std::endl;
                MoxSystem::stopAllManagers();
                code = 0;
            } catch (const MoxException& exception) {
                std::cerr << "worker " << worker << ": ";
                exception.print(std::cerr);
            } catch (const std::exception& failure) {
                std::cerr << "worker " << worker << ": " << failure.what() << std::endl;
            }
            fflush(nullptr);
            _exit(code);
        }
        workers.push_back(child);
    }
    return workers;
}

void MoxTortureRun::takeJournals(int workers, const MoxLsn& since, std::vector<std::string>& problems) {
    std::vector<std::string> journals;
    for (int worker = 0; worker < workers; ++worker) journals.push_back(journalOf(worker));
    for (const std::string& problem : MoxTortureOracle::apply(model, journals, since)) problems.push_back(problem);
    for (const std::string& journal : journals) std::remove(journal.c_str());
}

void MoxTortureRun::compare(bool recoverFirst, std::vector<std::string>& problems) {
    std::remove(problemsFile);
    const int code = inChild([&] {
        if (recoverFirst) {
            // Recovery's lines say nothing the comparison does not.
            if (freopen("/dev/null", "w", stdout) == nullptr) return 3;
            MoxSystem::start();
            MoxSystem::recover();
        }
        std::vector<std::string> found;
        MoxTortureTables tables;
        for (int table = 0; table < MoxTortureTables::tableCount; ++table) {
            for (const std::string& difference : tables.differences(table, model[table])) found.push_back(difference);
        }
        for (const MoxCheckProblem& problem : MoxDatabaseChecker().checkDatabase()) {
            found.push_back("check: " + problem.line());
        }
        MoxSystem::commit();
        MoxSystem::stopAllManagers();
        std::ofstream out(problemsFile);
        for (const std::string& problem : found) out << problem << "\n";
        return found.empty() ? 0 : 1;
    });
    for (const std::string& problem : readLines(problemsFile)) problems.push_back(problem);
    if (code > 1) {
        problems.push_back(std::string(recoverFirst ? "recovery and " : "") + "comparison failed: exit code " +
                           std::to_string(code));
    }
}

std::vector<std::string> MoxTortureRun::crashCycle() {
    std::vector<std::string> problems;
    const MoxLsn since = MoxTortureOracle::endOfLog();
    const std::vector<pid_t> workers = startWorkers(
        options.workers, [](MoxTortureWorker& work) { return work.run(std::chrono::steady_clock::time_point::max()); });
    const int millis = std::uniform_int_distribution<int>(options.minMillis, options.maxMillis)(random);
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
    // A crash takes every process at once. Killed one after the other, a
    // worker could meet the latch of one killed before it and stop by
    // itself; stopped first, and each waited for until it has stopped, none
    // runs when the first one dies.
    std::vector<int> statuses(workers.size(), 0);
    for (pid_t worker : workers) kill(worker, SIGSTOP);
    for (size_t worker = 0; worker < workers.size(); ++worker) {
        waitpid(workers[worker], &statuses[worker], WUNTRACED);
    }
    for (size_t worker = 0; worker < workers.size(); ++worker) {
        if (WIFSTOPPED(statuses[worker])) kill(workers[worker], SIGKILL);
    }
    for (size_t worker = 0; worker < workers.size(); ++worker) {
        int& status = statuses[worker];
        if (WIFSTOPPED(status)) waitpid(workers[worker], &status, 0);
        if (exitCodeOf(status) != 128 + SIGKILL) {
            problems.push_back("worker " + std::to_string(worker) + " ended by itself: exit code " +
                               std::to_string(exitCodeOf(status)));
        }
    }
    MoxSystem::stop(true);
    takeJournals(options.workers, since, problems);
    compare(true, problems);
    return problems;
}

std::vector<std::string> MoxTortureRun::load(int processes, int seconds, MoxTortureWorker::Stats& total) {
    std::vector<std::string> problems;
    const MoxLsn since = MoxTortureOracle::endOfLog();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const std::vector<pid_t> workers =
        startWorkers(processes, [deadline](MoxTortureWorker& work) { return work.run(deadline); });
    for (size_t worker = 0; worker < workers.size(); ++worker) {
        int status = 0;
        waitpid(workers[worker], &status, 0);
        if (exitCodeOf(status) != 0) {
            problems.push_back("worker " + std::to_string(worker) + " failed: exit code " +
                               std::to_string(exitCodeOf(status)));
        }
        const std::string stats = "stats." + std::to_string(worker);
        const std::vector<std::string> lines = readLines(stats);
        if (!lines.empty()) total.add(MoxTortureWorker::Stats::parse(lines.front()));
        std::remove(stats.c_str());
    }
    takeJournals(processes, since, problems);
    compare(false, problems);
    return problems;
}
