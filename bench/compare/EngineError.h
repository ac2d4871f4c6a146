#ifndef COMPARE_ENGINE_ERROR_H
#define COMPARE_ENGINE_ERROR_H

#include <stdexcept>
#include <string>

// A failed engine call, in the engine's own words. A retryable one (a
// deadlock, a lock time-out, a busy database) ends only the transaction: the
// caller aborts it and runs it again. Any other ends the measurement.
class EngineError : public std::runtime_error {
  public:
    EngineError(const std::string& message, bool retryable) : std::runtime_error(message), canRetry(retryable) {}

    bool retryable() const { return canRetry; }

  private:
    bool canRetry;
};

#endif
