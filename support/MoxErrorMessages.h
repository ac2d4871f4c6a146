#ifndef MOX_ERROR_MESSAGES_H
#define MOX_ERROR_MESSAGES_H

#include "../include/MoxConfig.h"
#include "MoxErrorCodes.h"

// One row of the static message table: the table is indexed by the absolute
// value of the code, and every "%s" of a message takes one token in order.
struct MoxErrorMessage {
    MoxErrorCode errorCode;
    const char* message;
    char sqlstate[MOX_SQLSTATE_LENGTH + 1];
};

// Assembled at build time from the components' error lists.
extern const MoxErrorMessage errorMessages[MOX_NUMBER_OF_ERROR_CODES];

#endif
