#include "ReportPipe.h"

#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "Clock.h"

namespace {

void closeOnce(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
}

}  // namespace

ReportPipe::ReportPipe() {
    if (pipe(descriptors) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
}

ReportPipe::~ReportPipe() {
    closeOnce(descriptors[0]);
    closeOnce(descriptors[1]);
}

void ReportPipe::closeReadEnd() {
    closeOnce(descriptors[0]);
}

void ReportPipe::closeWriteEnd() {
    closeOnce(descriptors[1]);
}

void ReportPipe::send(const std::string& text) {
    std::string line = text.substr(0, PIPE_BUF - 1);
    std::replace(line.begin(), line.end(), '\n', ' ');
    line += '\n';
    // A write of at most PIPE_BUF bytes is never split or interleaved; a
    // reader that is gone makes it fail, which nobody is left to hear of.
    ssize_t written;
    do {
        written = write(descriptors[1], line.data(), line.size());
    } while (written < 0 && errno == EINTR);
}

bool ReportPipe::receive(std::string& line, int timeoutSeconds, bool& timedOut) {
    timedOut = false;
    const double deadline = monotonicSeconds() + timeoutSeconds;
    for (;;) {
        size_t end = pending.find('\n');
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return true;
        }
        const double left = deadline - monotonicSeconds();
        pollfd readable{descriptors[0], POLLIN, 0};
        int ready = left > 0 ? poll(&readable, 1, static_cast<int>(left * 1000) + 1) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            return false;
        }
        char buffer[PIPE_BUF];
        ssize_t count = read(descriptors[0], buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        pending.append(buffer, static_cast<size_t>(count));
    }
}
