#ifndef MOX_PROGRESS_BAR_H
#define MOX_PROGRESS_BAR_H

#include <chrono>
#include <ostream>
#include <string>

// A progress line for a long load, redrawn in place (carriage return) on a
// terminal: rows so far, rows per second and, when the input's size is
// known, a bar, the share done and the time left, estimated from the bytes
// read. Draws nothing when it is not enabled, so that logs and pipes get no
// control characters.
class MoxProgressBar {
  public:
    // totalBytes 0: the size of the input is unknown (a pipe).
    MoxProgressBar(std::ostream& out, bool enabled, long long totalBytes);

    // Redraws at most ten times a second.
    void update(long long rows, long long bytes);
    // Draws the final state and ends the line.
    void finish(long long rows, long long bytes);

    // The text of the line for a state, seconds after the start.
    static std::string line(long long rows, long long bytes, long long totalBytes, double seconds);

  private:
    void draw(long long rows, long long bytes);

    std::ostream& out;
    bool enabled;
    long long totalBytes;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastDraw;
    size_t lastLength = 0;
};

#endif
