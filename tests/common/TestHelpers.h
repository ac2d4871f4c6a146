#ifndef MOX_TEST_HELPERS_H
#define MOX_TEST_HELPERS_H

#include <time.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MoxSupport.h"
#include "support/MoxCheckProblem.h"

// The exception that body throws, if any.
inline std::optional<MoxException> caught(const std::function<void()>& body) {
    try {
        body();
    } catch (const MoxException& exception) {
        return exception;
    }
    return std::nullopt;
}

// Whether body throws code with the given leading tokens.
inline ::testing::AssertionResult throwsError(const std::function<void()>& body, MoxErrorCode code,
                                              const std::vector<std::string>& tokens = {}) {
    std::optional<MoxException> failure = caught(body);
    if (!failure) {
        return ::testing::AssertionFailure() << "nothing thrown";
    }
    if (failure->getErrorCode() != code) {
        return ::testing::AssertionFailure() << "code " << failure->getErrorCode() << " thrown";
    }
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (failure->getErrorToken(static_cast<int>(i + 1)) != tokens[i]) {
            return ::testing::AssertionFailure()
                   << "token " << i + 1 << " is \"" << failure->getErrorToken(static_cast<int>(i + 1)) << "\"";
        }
    }
    return ::testing::AssertionSuccess();
}

// Success when a check found nothing; else its problems, one a line.
inline ::testing::AssertionResult sound(const MoxCheckProblems& problems) {
    if (problems.empty()) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    for (const MoxCheckProblem& problem : problems) {
        failure << problem.line() << "\n";
    }
    return failure;
}

// Polls condition until it holds, at most timeoutMilliseconds; the sleep
// only paces the polling.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 20000) {
    for (int waited = 0; !condition(); ++waited) {
        if (waited >= timeoutMilliseconds) {
            return false;
        }
        timespec step = {0, 1000000};
        nanosleep(&step, nullptr);
    }
    return true;
}

#endif
