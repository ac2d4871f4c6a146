#ifndef MOX_ERROR_H
#define MOX_ERROR_H

#include <cstddef>
#include <cstdio>
#include <utility>

#include "../include/Mox.h"
#include "MoxErrorCodes.h"

#define MOX_ERROR_FAIL_SQLSTATE "ERZZZ"
#define MOX_ERROR_FAIL_MSGTEXT "Internal message failure"

struct MoxErrorMessage;

// Text that stands in for a placeholder whose token was not given at all.
#define MOX_ERROR_ABSENT_TOKEN "(null)"

// Size of the buffer that one converted token of the MOX_SET_ERROR_TOKEN
// macros is written into.
#define MOX_ERROR_TOKEN_BUFFER_LENGTH (MOX_DIGITS_OF_TYPE(Uint32) + 10)

// The process's error object: the last error as code, SQLSTATE and formatted
// message. Operations that return a MoxErrorCode set it before they return.
//
// One per process, created first by the program's entry (or on first use by
// getErrorObject); not protected against threads, since every process runs
// one thread.
class MoxError {
  public:
    MoxError();
    ~MoxError();
    MoxError(const MoxError&) = delete;
    MoxError& operator=(const MoxError&) = delete;

    static MoxError* getErrorObject();

    // Records a code and formats its message with up to six tokens.
    void setError(MoxComponent component, MoxErrorCode errorCode, const char* token1 = nullptr,
                  const char* token2 = nullptr, const char* token3 = nullptr, const char* token4 = nullptr,
                  const char* token5 = nullptr, const char* token6 = nullptr);

    // Records where the current error passed; the first location after a
    // setError of an internal or parameter failure becomes part of the message.
    void addTraceRecord(const char* file, const char* function, Uint32 line);

    MoxErrorCode getErrorCode() const { return errorCode; }
    MoxComponent getComponent() const { return component; }

    // Copies out at most length-1 characters of the message (the caller gives
    // at least 1) and, if sqlstate is given, the 5 SQLSTATE characters without
    // terminator into a zero-filled buffer of at least 6.
    void getError(char* message, Uint32 length, char* sqlstate);

    static const char* convertToString(Uint32 value, char* buffer);
    static const char* convertToString(Sint32 value, char* buffer);
    static const char* convertToString(const char* value, char* buffer);

  private:
    static const MoxErrorMessage* findMessage(MoxErrorCode errorCode);

    static MoxError* instance;

    MoxComponent component;
    MoxErrorCode errorCode;
    char sqlstate[MOX_SQLSTATE_LENGTH + 1];
    char errorMessage[MOX_ERROR_MESSAGE_LENGTH + 1];
    bool errorLocation;
    FILE* traceFile;
};

MoxErrorCode MoxGetErrorCode();

#define MOX_TRACE_ERROR() MoxError::getErrorObject()->addTraceRecord(__FILE__, __FUNCTION__, __LINE__)

#define MOX_SET_ERROR(errorCode)                                        \
    do {                                                                \
        MoxError::getErrorObject()->setError(componentId, (errorCode)); \
        MOX_TRACE_ERROR();                                              \
    } while (0)

// Converts each token into its own zero-filled buffer, so that numbers and
// texts can be mixed freely, and records the error with them. Tokens come by
// value: a field of a packed structure cannot be bound to a reference safely.
template <typename... Tokens>
void moxSetErrorWithTokens(MoxComponent component, MoxErrorCode errorCode, Tokens... tokens) {
    char buffers[sizeof...(Tokens)][MOX_ERROR_TOKEN_BUFFER_LENGTH] = {};
    size_t next = 0;
    const char* texts[sizeof...(Tokens)] = {MoxError::convertToString(tokens, buffers[next++])...};
    [&]<size_t... i>(std::index_sequence<i...>) {
        MoxError::getErrorObject()->setError(component, errorCode, texts[i]...);
    }
    (std::index_sequence_for<Tokens...>{});
}

#define MOX_SET_ERROR_TOKENS_(errorCode, ...)                         \
    do {                                                              \
        moxSetErrorWithTokens(componentId, (errorCode), __VA_ARGS__); \
        MOX_TRACE_ERROR();                                            \
    } while (0)

#define MOX_SET_ERROR_TOKEN1(errorCode, t1) MOX_SET_ERROR_TOKENS_(errorCode, t1)
#define MOX_SET_ERROR_TOKEN2(errorCode, t1, t2) MOX_SET_ERROR_TOKENS_(errorCode, t1, t2)
#define MOX_SET_ERROR_TOKEN3(errorCode, t1, t2, t3) MOX_SET_ERROR_TOKENS_(errorCode, t1, t2, t3)
#define MOX_SET_ERROR_TOKEN4(errorCode, t1, t2, t3, t4) MOX_SET_ERROR_TOKENS_(errorCode, t1, t2, t3, t4)
#define MOX_SET_ERROR_TOKEN5(errorCode, t1, t2, t3, t4, t5) MOX_SET_ERROR_TOKENS_(errorCode, t1, t2, t3, t4, t5)
#define MOX_SET_ERROR_TOKEN6(errorCode, t1, t2, t3, t4, t5, t6) MOX_SET_ERROR_TOKENS_(errorCode, t1, t2, t3, t4, t5, t6)

#endif
