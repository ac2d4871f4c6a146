#include "IsolatedRun.h"

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "Clock.h"
#include "ForkedChild.h"
#include "ReportPipe.h"

namespace {

volatile sig_atomic_t runningGroup = 0;
volatile sig_atomic_t stopSignal = 0;

void stopRunningGroup(int signal) {
    stopSignal = signal;
    if (runningGroup > 0) kill(-runningGroup, SIGKILL);
}

std::string serialize(const Measurement& measurement) {
    std::ostringstream line;
    line.precision(9);
    line << measurement.workload << '\t' << measurement.seconds << '\t' << measurement.operations << '\t'
         << measurement.retries << '\t' << measurement.failure;
    return line.str();
}

Measurement parse(const std::string& line) {
    Measurement measurement;
    std::istringstream fields(line);
    std::string seconds;
    std::string operations;
    std::string retries;
    std::getline(fields, measurement.workload, '\t');
    std::getline(fields, seconds, '\t');
    std::getline(fields, operations, '\t');
    std::getline(fields, retries, '\t');
    std::getline(fields, measurement.failure);
    measurement.seconds = std::stod(seconds);
    measurement.operations = std::stol(operations);
    measurement.retries = std::stol(retries);
    return measurement;
}

Measurement wholeRunFailure(const std::string& why) {
    Measurement failure;
    failure.failure = why;
    return failure;
}

[[noreturn]] void runChild(Engine& engine, const IsolatedRun::Scenario& scenario, const std::string& directory,
                           ReportPipe& reports) {
    setpgid(0, 0);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(signal, SIG_DFL);
    reports.closeReadEnd();
    int code = 0;
    try {
        for (const Measurement& measurement : scenario(engine, directory)) reports.send(serialize(measurement));
    } catch (const std::exception& error) {
        reports.send(std::string("!") + error.what());
        code = 1;
    }
    exitForkedChild(code);
}

}  // namespace

std::vector<Measurement> IsolatedRun::run(Engine& engine, const Scenario& scenario, const std::string& parentDirectory,
                                          int timeLimitSeconds) {
    std::string pattern = parentDirectory + "/run.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return {wholeRunFailure("cannot create a directory: " + pattern)};
    const std::string directory = pattern;

    std::vector<Measurement> measurements;
    ReportPipe reports;
    fflush(nullptr);
    pid_t child = fork();
    if (child < 0) return {wholeRunFailure(std::string("fork: ") + strerror(errno))};
    if (child == 0) runChild(engine, scenario, directory, reports);
    // Also here, so that a kill cannot come before the child's own call.
    setpgid(child, child);
    runningGroup = child;
    if (stopSignal != 0) kill(-child, SIGKILL);
    reports.closeWriteEnd();

    const double deadline = monotonicSeconds() + timeLimitSeconds;
    std::string line;
    bool timedOut = false;
    for (;;) {
        const int left = static_cast<int>(deadline - monotonicSeconds());
        if (!reports.receive(line, left > 0 ? left : 0, timedOut)) break;
        if (line.rfind('!', 0) == 0) {
            measurements.push_back(wholeRunFailure(line.substr(1)));
        } else {
            measurements.push_back(parse(line));
        }
    }
    if (timedOut) {
        kill(-child, SIGKILL);
        measurements.push_back(wholeRunFailure("stopped after " + std::to_string(timeLimitSeconds) + " s"));
    }
    int status = 0;
    waitpid(child, &status, 0);
    runningGroup = 0;
    if (WIFSIGNALED(status) && !timedOut) {
        measurements.push_back(wholeRunFailure(
            stopSignal != 0 ? "interrupted" : "the process died of signal " + std::to_string(WTERMSIG(status))));
    }
    engine.releaseSystemResources(directory);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return measurements;
}

void IsolatedRun::stopOnSignals() {
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = stopRunningGroup;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}

bool IsolatedRun::stopped() {
    return stopSignal != 0;
}
