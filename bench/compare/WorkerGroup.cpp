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
    int ready = 0;
    int done = 0;
    double started = 0;
    std::string line;
    bool timedOut = false;
    while (result.failure.empty() && done < workers) {
        if (!reports.receive(line, silenceSeconds, timedOut)) {
            result.failure =
                timedOut ? "no word from the workers for " + std::to_string(silenceSeconds) + " s" : "a worker died";
        } else if (line == "ready") {
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
    }
    if (!result.failure.empty()) {
        for (pid_t child : children) kill(child, SIGKILL);
    }
    finish.open();
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        if (result.failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
            // The work was done, but a teardown failed: that fails the run too.
            while (reports.receive(line, 1, timedOut)) {
                if (line.rfind("failed ", 0) == 0) result.failure = line.substr(7);
            }
            if (result.failure.empty()) result.failure = "a worker ended badly in its teardown";
        }
    }
    return result;
}
