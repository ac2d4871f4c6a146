#ifndef MOX_CATALOG_TEST_HELPERS_H
#define MOX_CATALOG_TEST_HELPERS_H

#include <string>

#include "MoxSupport.h"

// The formatted message of the error object's current error.
inline std::string currentErrorMessage() {
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {0};
    MoxError::getErrorObject()->getError(message, sizeof(message), nullptr);
    return message;
}

// Clears the error object, so that a test sees only what its call recorded.
inline void clearError() {
    MoxError::getErrorObject()->setError(Support, MOX_SUCCESS);
}

#endif
