#include "MoxProcess.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

pid_t MoxProcess::cachedId = 0;

pid_t MoxProcess::readId() {
    static const bool registered = pthread_atfork(nullptr, nullptr, forgetInChild) == 0;
    pid_t self = getpid();
    // Without the handler a child could not know it is one: ask every time.
    if (registered) {
        cachedId = self;
    }
    return self;
}

void MoxProcess::forgetInChild() {
    cachedId = 0;
}

bool MoxProcess::runs(pid_t process) {
    if (process <= 0) {
        return false;
    }
    if (kill(process, 0) != 0 && errno == ESRCH) {
        return false;
    }
    char path[32];
    snprintf(path, sizeof(path), "/proc/%d/stat", static_cast<int>(process));
    FILE* stat = fopen(path, "r");
    if (stat == nullptr) {
        return true;
    }
    // "pid (command) state ...": the command may hold blanks and parentheses.
    char line[512] = {};
    size_t length = fread(line, 1, sizeof(line) - 1, stat);
    fclose(stat);
    const char* close = strrchr(line, ')');
    char state = close != nullptr && close + 2 < line + length ? close[2] : 'R';
    return state != 'Z' && state != 'X';
}

bool MoxProcess::runsAttachedTo(pid_t process, int sharedMemoryId) {
    if (!runs(process)) {
        return false;
    }
    char path[32];
    snprintf(path, sizeof(path), "/proc/%d/maps", static_cast<int>(process));
    FILE* maps = fopen(path, "r");
    if (maps == nullptr) {
        return true;
    }
    // A System V segment is mapped as "/SYSV<key>" with its id as inode:
    // "7f..-7f.. rw-s 00000000 00:01 32769  /SYSV00000000 (deleted)".
    bool attached = false;
    bool readable = false;
    char line[1024];
    while (!attached && fgets(line, sizeof(line), maps) != nullptr) {
        readable = true;
        unsigned long inode = 0;
        char name[sizeof(line)] = {};
        if (sscanf(line, "%*s %*s %*s %*s %lu %1023s", &inode, name) == 2) {
            attached = strncmp(name, "/SYSV", 5) == 0 && inode == static_cast<unsigned long>(sharedMemoryId);
        }
    }
    fclose(maps);
    // A process whose maps come back empty cannot be told apart.
    return attached || !readable;
}
