#ifndef MOX_CHILD_PROCESS_H
#define MOX_CHILD_PROCESS_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// A forked child that runs a function and exits with its result, for tests
// of behaviour across real processes. The child never returns into the test
// framework.
class ChildProcess {
  public:
    explicit ChildProcess(const std::function<int()>& body);
    // Kills the child if it is still running, so that no test leaves one behind.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the child's exit at most timeoutSeconds; returns its exit code,
    // 128 + the signal if it was killed, or -1 on time-out (it is then killed).
    int wait(int timeoutSeconds = 60);
    void kill(int signal);
    pid_t pid() const { return childPid; }

  private:
    pid_t childPid;
    bool reaped;
};

// One-way event channel between processes (a pipe): notify in one process,
// waitFor in the other. Create it before the fork.
class EventPipe {
  public:
    EventPipe();
    ~EventPipe();
    EventPipe(const EventPipe&) = delete;
    EventPipe& operator=(const EventPipe&) = delete;

    void notify(char event = 'x');
    // True when an event arrived within timeoutMilliseconds; stores it.
    bool waitFor(int timeoutMilliseconds, char* event = nullptr);

  private:
    int descriptors[2];
};

struct CommandResult {
    int exitCode = -1;
    std::string standardOutput;
    std::string standardError;
};

// Runs a program with arguments (arguments[0] is the program name as given)
// and collects its output and exit code.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& arguments);

#endif
