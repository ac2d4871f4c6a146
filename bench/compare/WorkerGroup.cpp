#include "WorkerGroup.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Clock.h"
#include "ForkedChild.h"
#include "ReportPipe.h"
#include "StartGate.h"

namespace {

// How often a quiet group looks whether a worker has ended.
const int lookEverySeconds = 1;

std::string howItEnded(int status) {
    if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
    return "exited with " + std::to_string(WEXITSTATUS(status));
}

// The body of worker number index; never returns.
[[noreturn]] void runWorker(int index, const WorkerGroup::Worker& worker, ReportPipe& reports, StartGate& start,
                            StartGate& finish) {
    reports.closeReadEnd();
    int code = 0;
    try {
        worker.setUp(index);
        reports.send("ready");
        start.wait();
        long retries = worker.work(index);
        reports.send("done " + std::to_string(retries));
        finish.wait();
        worker.tearDown();
    } catch (const std::exception& error) {
        reports.send("failed worker " + std::to_string(index) + ": " + error.what());
        code = 1;
    }
    exitForkedChild(code);
}

}  // namespace

Measurement WorkerGroup::run(int workers, const Worker& worker, int silenceSeconds) {
    ReportPipe reports;
    StartGate start;
    StartGate finish;
    std::vector<pid_t> children;
    fflush(nullptr);
    for (int index = 0; index < workers; ++index) {
        pid_t child = fork();
        if (child < 0) {
            perror("fork");
            break;
        }
        if (child == 0) runWorker(index, worker, reports, start, finish);
        children.push_back(child);
    }
    reports.closeWriteEnd();

    Measurement result;
    if (static_cast<int>(children.size()) < workers) result.failure = "could not fork every worker";
    std::vector<bool> ended(children.size(), false);
    int ready = 0;
    int done = 0;
    double started = 0;
    double lastWord = monotonicSeconds();
    std::string line;
    bool timedOut = false;
    int status = 0;
    while (result.failure.empty() && done < workers) {
        if (reports.receive(line, lookEverySeconds, timedOut)) {
            lastWord = monotonicSeconds();
            if (line == "ready") {
                if (++ready == workers) {
                    started = monotonicSeconds();
                    start.open();
                }
            } else if (line.rfind("done ", 0) == 0) {
                result.retries += std::stol(line.substr(5));
                if (++done == workers) result.seconds = monotonicSeconds() - started;
            } else {
                result.failure = line.substr(line.find(' ') + 1);
            }
        } else if (!timedOut) {
            result.failure = "every worker has gone";
        } else {
            // Before the last report, no worker ends unless it failed; one
            // that said why has been heard by now.
            for (size_t index = 0; index < children.size() && result.failure.empty(); ++index) {
                if (waitpid(children[index], &status, WNOHANG) == children[index]) {
                    ended[index] = true;
                    result.failure = "worker " + std::to_string(index) + " " + howItEnded(status) + " without a word";
                }
            }
            if (result.failure.empty() && monotonicSeconds() - lastWord > silenceSeconds) {
                result.failure = "no word from the workers for " + std::to_string(silenceSeconds) + " s";
            }
        }
    }
    for (size_t index = 0; index < children.size(); ++index) {
        if (!result.failure.empty() && !ended[index]) kill(children[index], SIGKILL);
    }
    finish.open();
    for (size_t index = 0; index < children.size(); ++index) {
        if (ended[index]) continue;
        waitpid(children[index], &status, 0);
        if (result.failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
            // The work was done, but a teardown failed: that fails the run too.
            while (reports.receive(line, lookEverySeconds, timedOut)) {
                if (line.rfind("failed ", 0) == 0) result.failure = line.substr(7);
            }
            if (result.failure.empty()) result.failure = "worker " + std::to_string(index) + " " + howItEnded(status);
        }
    }
    return result;
}
