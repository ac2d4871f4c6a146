#ifndef MOX_FIRST_FAILURE_H
#define MOX_FIRST_FAILURE_H

#include <functional>
#include <optional>

#include "MoxException.h"

// Runs steps that must all be tried, such as writing every dirty page of the
// pool, whatever the steps before them did, and keeps the first MoxException
// that one of them throws, to be thrown once all have run. Other exceptions
// pass at once. Used by one thread.
class MoxFirstFailure {
  public:
    void attempt(const std::function<void()>& step);
    // Throws the first failure kept; nothing when every step succeeded.
    void rethrow() const;

  private:
    std::optional<MoxException> first;
};

#endif
