#include "ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

int exitStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::string readAll(int descriptor) {
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = read(descriptor, buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<size_t>(count));
    }
    return text;
}

}  // namespace

ChildProcess::ChildProcess(const std::function<int()>& body) : childPid(-1), reaped(false) {
    fflush(nullptr);
    std::cout.flush();
    std::cerr.flush();
    childPid = fork();
    if (childPid == 0) {
        int code = 1;
        try {
            code = body();
        } catch (...) {
            code = 99;
        }
        fflush(nullptr);
        std::cout.flush();
        std::cerr.flush();
        _exit(code);
    }
}

ChildProcess::~ChildProcess() {
    if (childPid > 0 && !reaped) {
        ::kill(childPid, SIGKILL);
        waitpid(childPid, nullptr, 0);
    }
}

int ChildProcess::wait(int timeoutSeconds) {
    if (childPid <= 0) return -1;
    // Polls for the exit event; the sleep only paces the polling.
    const long stepNanoseconds = 1000000;
    long remaining = static_cast<long>(timeoutSeconds) * 1000;
    int status = 0;
    while (true) {
        pid_t result = waitpid(childPid, &status, WNOHANG);
        if (result == childPid) {
            reaped = true;
            return exitStatus(status);
        }
        if (result < 0 || remaining-- <= 0) break;
        timespec step = {0, stepNanoseconds};
        nanosleep(&step, nullptr);
    }
    ::kill(childPid, SIGKILL);
    waitpid(childPid, nullptr, 0);
    reaped = true;
    return -1;
}

void ChildProcess::kill(int signal) {
    if (childPid > 0 && !reaped) ::kill(childPid, signal);
}

EventPipe::EventPipe() : descriptors{-1, -1} {
    if (pipe(descriptors) != 0) {
        perror("pipe");
        abort();
    }
}

EventPipe::~EventPipe() {
    close(descriptors[0]);
    close(descriptors[1]);
}

void EventPipe::notify(char event) {
    if (write(descriptors[1], &event, 1) != 1) perror("EventPipe::notify");
}

bool EventPipe::waitFor(int timeoutMilliseconds, char* event) {
    pollfd request = {descriptors[0], POLLIN, 0};
    if (poll(&request, 1, timeoutMilliseconds) != 1) return false;
    char received = 0;
    if (read(descriptors[0], &received, 1) != 1) return false;
    if (event != nullptr) *event = received;
    return true;
}

CommandResult runCommand(const std::string& program, const std::vector<std::string>& arguments) {
    CommandResult result;
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return result;
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // The outputs are small; reading stdout to its end before stderr cannot
    // block the child on a full stderr pipe.
    result.standardOutput = readAll(out[0]);
    result.standardError = readAll(err[0]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = exitStatus(status);
    return result;
}
