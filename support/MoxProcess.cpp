#include "MoxProcess.h"

#include <pthread.h>
#include <unistd.h>

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
