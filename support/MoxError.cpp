#include "MoxError.h"

#include <cstdlib>
#include <cstring>

#include "MoxErrorMessages.h"
#include "MoxTrace.h"

static const MoxComponent componentId = Support;

MoxError* MoxError::instance = nullptr;

namespace {

const int numberOfTokens = 6;

// Appends text to out without passing its end; returns the new position.
size_t append(char* out, size_t position, size_t size, const char* text, size_t length) {
    size_t room = size - 1 - position;
    size_t count = length < room ? length : room;
    memcpy(out + position, text, count);
    return position + count;
}

// Substitutes the tokens in order into the message's placeholders. "%s"
// takes a token as text; "%d" takes it as a decimal number. No argument is
// ever read that was not given: an absent token shows as
// MOX_ERROR_ABSENT_TOKEN. The result is cut to size-1 characters.
void formatMessage(const char* text, const char* const tokens[numberOfTokens], char* out, size_t size) {
    size_t position = 0;
    int next = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (c[0] == '%' && (c[1] == 's' || c[1] == 'd')) {
            const char* token = next < numberOfTokens ? tokens[next] : nullptr;
            ++next;
            char number[MOX_ERROR_TOKEN_BUFFER_LENGTH];
            if (token == nullptr) {
                token = MOX_ERROR_ABSENT_TOKEN;
            } else if (c[1] == 'd') {
                snprintf(number, sizeof(number), "%ld", strtol(token, nullptr, 10));
                token = number;
            }
            position = append(out, position, size, token, strlen(token));
            ++c;
        } else if (c[0] == '%' && c[1] == '%') {
            position = append(out, position, size, c, 1);
            ++c;
        } else {
            position = append(out, position, size, c, 1);
        }
    }
    out[position] = '\0';
}

}  // namespace

MoxError::MoxError()
    : component(Support), errorCode(MOX_SUCCESS), sqlstate(), errorMessage(), errorLocation(false), traceFile(nullptr) {
    const char* traceFileName = getenv("MOX_STACK_TRACE_FILE");
    if (traceFileName != nullptr && traceFileName[0] != '\0') {
        traceFile = fopen(traceFileName, "w");
    }
    if (instance != nullptr) {
        instance->setError(Support, MOX_ERROR_DUPLICATE_ERROR_OBJECT);
        instance->addTraceRecord(__FILE__, __FUNCTION__, __LINE__);
    } else {
        instance = this;
    }
}

MoxError::~MoxError() {
    if (traceFile != nullptr) {
        fclose(traceFile);
    }
    if (instance == this) {
        instance = nullptr;
    }
}

MoxError* MoxError::getErrorObject() {
    if (instance == nullptr) {
        // Registers itself as instance and lives until the process ends.
        new MoxError();
    }
    return instance;
}

const MoxErrorMessage* MoxError::findMessage(MoxErrorCode code) {
    for (const MoxErrorMessage& row : errorMessages) {
        if (row.errorCode == code) {
            return &row;
        }
    }
    return nullptr;
}

void MoxError::setError(MoxComponent newComponent, MoxErrorCode newErrorCode, const char* token1, const char* token2,
                        const char* token3, const char* token4, const char* token5, const char* token6) {
    MOX_TRACE_ENTRY();
    component = newComponent;
    errorCode = newErrorCode;
    memcpy(sqlstate, MOX_ERROR_FAIL_SQLSTATE, sizeof(sqlstate));
    memcpy(errorMessage, MOX_ERROR_FAIL_MSGTEXT, sizeof(MOX_ERROR_FAIL_MSGTEXT));

    const MoxErrorMessage* row = findMessage(newErrorCode);
    if (row != nullptr) {
        memcpy(sqlstate, row->sqlstate, MOX_SQLSTATE_LENGTH);
        const char* const tokens[numberOfTokens] = {token1, token2, token3, token4, token5, token6};
        size_t length = strlen(row->message);
        for (const char* token : tokens) {
            length += token != nullptr ? strlen(token) : 0;
        }
        if (length <= MOX_ERROR_MESSAGE_LENGTH + 1) {
            formatMessage(row->message, tokens, errorMessage, sizeof(errorMessage));
            errorLocation = false;
        }
    }
    errorMessage[MOX_ERROR_MESSAGE_LENGTH] = '\0';

    MOX_TRACE_STRING(10, errorMessage);
    if (traceFile != nullptr) {
        fprintf(traceFile, "%s\n", errorMessage);
    }
}

void MoxError::addTraceRecord(const char* file, const char* function, Uint32 line) {
    if (file == nullptr || function == nullptr) {
        return;
    }
    if (!errorLocation && (errorCode == MOX_INTERNAL_FAIL || errorCode == MOX_PARAMETER_FAIL)) {
        snprintf(errorMessage, sizeof(errorMessage), "%s  (%s:%u %s)", findMessage(errorCode)->message, file, line,
                 function);
        errorLocation = true;
    }
    if (traceFile != nullptr) {
        fprintf(traceFile, "%s:%u %s (%d)\n", file, line, function, static_cast<int>(errorCode));
    }
}

void MoxError::getError(char* message, Uint32 length, char* sqlstateOut) {
    if (message == nullptr) {
        setError(Support, MOX_PARAMETER_FAIL);
        return;
    }
    if (errorMessage[0] == '\0') {
        setError(component, MOX_SUCCESS);
    }
    if (length == 0) {
        return;
    }
    Uint32 n = MoxMin_t(Uint32, length, MOX_ERROR_MESSAGE_LENGTH + 1);
    memcpy(message, errorMessage, n);
    message[n - 1] = '\0';
    if (sqlstateOut != nullptr) {
        memcpy(sqlstateOut, sqlstate, MOX_SQLSTATE_LENGTH);
    }
}

const char* MoxError::convertToString(Uint32 value, char* buffer) {
    snprintf(buffer, MOX_ERROR_TOKEN_BUFFER_LENGTH, "%u", value);
    return buffer;
}

const char* MoxError::convertToString(Sint32 value, char* buffer) {
    snprintf(buffer, MOX_ERROR_TOKEN_BUFFER_LENGTH, "%d", value);
    return buffer;
}

const char* MoxError::convertToString(const char* value, char*) {
    return value;
}

MoxErrorCode MoxGetErrorCode() {
    return MoxError::getErrorObject()->getErrorCode();
}
