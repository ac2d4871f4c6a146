#include "StartGate.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

// The gate is a pipe nobody writes to: a read returns when the last copy of
// its write end is closed.
StartGate::StartGate() {
    if (pipe(descriptors) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
}

StartGate::~StartGate() {
    for (int& descriptor : descriptors) {
        if (descriptor >= 0) close(descriptor);
        descriptor = -1;
    }
}

void StartGate::open() {
    if (descriptors[1] >= 0) close(descriptors[1]);
    descriptors[1] = -1;
}

void StartGate::wait() {
    open();
    char ignored;
    while (read(descriptors[0], &ignored, 1) < 0 && errno == EINTR) {
    }
}
