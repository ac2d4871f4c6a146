#include "MoxFirstFailure.h"

void MoxFirstFailure::attempt(const std::function<void()>& step) {
    try {
        step();
    } catch (const MoxException& exception) {
        if (!first) {
            first.emplace(exception);
        }
    }
}

void MoxFirstFailure::rethrow() const {
    if (first) {
        throw *first;
    }
}
