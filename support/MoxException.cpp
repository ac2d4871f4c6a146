#include "MoxException.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "MoxError.h"
#include "MoxTrace.h"

static const MoxComponent componentId = Support;

namespace {

const char* const unknownCall = "UNKNOWN";

// Size of the buffer that print_message reads the message into: the printed
// message is cut at one character less.
const Uint32 printedMessageBuffer = 1000;

void printFrames(std::ostream& os, void* const* frames, int count, int first);

}  // namespace

MoxException::MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function)
    : MoxException(errorCode, std::move(file), line, std::move(function), std::string(), std::string(), std::string(),
                   std::string()) {}

MoxException::MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function,
                           std::string errorToken1)
    : MoxException(errorCode, std::move(file), line, std::move(function), std::move(errorToken1), std::string(),
                   std::string(), std::string()) {}

MoxException::MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function,
                           std::string errorToken1, std::string errorToken2)
    : MoxException(errorCode, std::move(file), line, std::move(function), std::move(errorToken1),
                   std::move(errorToken2), std::string(), std::string()) {}

MoxException::MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function,
                           std::string errorToken1, std::string errorToken2, std::string errorToken3)
    : MoxException(errorCode, std::move(file), line, std::move(function), std::move(errorToken1),
                   std::move(errorToken2), std::move(errorToken3), std::string()) {}

MoxException::MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function,
                           std::string errorToken1, std::string errorToken2, std::string errorToken3,
                           std::string errorToken4)
    : original(nullptr),
      errorCode(errorCode),
      call(unknownCall),
      file(std::move(file)),
      line(line),
      function(std::move(function)),
      errorToken1(std::move(errorToken1)),
      errorToken2(std::move(errorToken2)),
      errorToken3(std::move(errorToken3)),
      errorToken4(std::move(errorToken4)),
      frames(),
      frameCount(::backtrace(frames, BACKTRACE_STACKFRAMES_COUNT)) {}

MoxException::MoxException(MoxErrorCode errorCode, std::string call, std::string file, unsigned line,
                           std::string function)
    : original(nullptr),
      errorCode(errorCode),
      call(std::move(call)),
      file(std::move(file)),
      line(line),
      function(std::move(function)),
      frames(),
      frameCount(::backtrace(frames, BACKTRACE_STACKFRAMES_COUNT)) {}

MoxException::MoxException(MoxErrorCode errorCode, std::string call, std::string file, unsigned line,
                           std::string function, std::string errorToken1, std::string errorToken2,
                           std::string errorToken3, std::string errorToken4)
    : original(nullptr),
      errorCode(errorCode),
      call(std::move(call)),
      file(std::move(file)),
      line(line),
      function(std::move(function)),
      errorToken1(std::move(errorToken1)),
      errorToken2(std::move(errorToken2)),
      errorToken3(std::move(errorToken3)),
      errorToken4(std::move(errorToken4)),
      frames(),
      frameCount(::backtrace(frames, BACKTRACE_STACKFRAMES_COUNT)) {}

MoxException::MoxException(const MoxException& original, MoxErrorCode errorCode, std::string call, std::string file,
                           unsigned line, std::string function)
    : original(&original),
      errorCode(errorCode),
      call(std::move(call)),
      file(std::move(file)),
      line(line),
      function(std::move(function)),
      frames(),
      frameCount(::backtrace(frames, BACKTRACE_STACKFRAMES_COUNT)) {}

MoxException::~MoxException() noexcept {}

const std::string& MoxException::getErrorToken(int number) const {
    switch (number) {
        case 1:
            return errorToken1;
        case 2:
            return errorToken2;
        case 3:
            return errorToken3;
        default:
            return errorToken4;
    }
}

MoxErrorCode MoxException::raise(MoxErrorCode rc, std::string call, std::string file, unsigned line,
                                 std::string function) {
    if (rc == MOX_SUCCESS) {
        return MOX_SUCCESS;
    }
    // The exception carries the failure from here on.
    MoxError::getErrorObject()->setError(Support, MOX_SUCCESS);
    throw MoxException(rc, std::move(call), std::move(file), line, std::move(function));
}

MoxErrorCode MoxException::raise(MoxErrorCode rc, std::string call, std::string file, unsigned line,
                                 std::string function, std::string errorToken1, std::string errorToken2,
                                 std::string errorToken3, std::string errorToken4) {
    if (rc == MOX_SUCCESS) {
        return MOX_SUCCESS;
    }
    MoxError::getErrorObject()->setError(Support, MOX_SUCCESS);
    throw MoxException(rc, std::move(call), std::move(file), line, std::move(function), std::move(errorToken1),
                       std::move(errorToken2), std::move(errorToken3), std::move(errorToken4));
}

const std::string& MoxException::getBacktrace() const {
    if (backtrace.empty()) {
        std::ostringstream text;
        // From the frame that constructed the exception on.
        printFrames(text, frames, frameCount, frameCount > 1 ? 1 : 0);
        backtrace = text.str();
    }
    return backtrace;
}

void MoxException::print(std::ostream& os) const {
    print_message(os);
    os << getBacktrace() << std::endl;
}

void MoxException::print_message(std::ostream& os) const {
    MOX_TRACE_ENTRY();
    os << std::endl << "Exception aufgetreten: " << std::endl;

    MoxError* error = MoxError::getErrorObject();
    error->setError(Support, errorCode, errorToken1.c_str(), errorToken2.c_str(), errorToken3.c_str(),
                    errorToken4.c_str());
    MOX_TRACE_ERROR();

    char message[printedMessageBuffer] = {0};
    char sqlstate[MOX_SQLSTATE_LENGTH + 1] = {0};
    error->getError(message, sizeof(message), sqlstate);
    os << message << " SQLSTATE=" << sqlstate << std::endl;
}

void MoxException::SET_ERROR() const {
    MOX_TRACE_ENTRY();
    MoxError* error = MoxError::getErrorObject();
    // Only as many tokens as the last one given, so that missing ones stay absent.
    if (!errorToken4.empty()) {
        error->setError(componentId, errorCode, errorToken1.c_str(), errorToken2.c_str(), errorToken3.c_str(),
                        errorToken4.c_str());
    } else if (!errorToken3.empty()) {
        error->setError(componentId, errorCode, errorToken1.c_str(), errorToken2.c_str(), errorToken3.c_str());
    } else if (!errorToken2.empty()) {
        error->setError(componentId, errorCode, errorToken1.c_str(), errorToken2.c_str());
    } else if (!errorToken1.empty()) {
        error->setError(componentId, errorCode, errorToken1.c_str());
    } else {
        error->setError(componentId, errorCode);
    }
    MOX_TRACE_ERROR();
}

std::string MoxException::get_trace() const {
    std::ostringstream text;
    print_trace(text, 2);
    return text.str();
}

namespace {

// Writes one symbol line "module(function+offset) [address]" with the
// function demangled; lines of another shape are written as they are.
void printFrame(std::ostream& os, int position, const char* symbol) {
    const char* close = strchr(symbol, ')');
    const char* open = nullptr;
    const char* plus = nullptr;
    if (close != nullptr) {
        for (const char* c = symbol; c < close; ++c) {
            if (*c == '(') open = c;
            if (*c == '+') plus = c;
        }
    }
    os << "[bt]: (" << position << ") ";
    if (open == nullptr || plus == nullptr || !(open < plus)) {
        os << symbol << std::endl;
        return;
    }
    std::string module(symbol, open);
    std::string mangled(open + 1, plus);
    std::string offset(plus + 1, close);
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
    os << module << " : " << (status == 0 && demangled != nullptr ? demangled : mangled.c_str()) << "+" << offset
       << (close + 1) << std::endl;
    free(demangled);
}

// Writes the captured frames from position first on, each numbered by its
// position.
void printFrames(std::ostream& os, void* const* frames, int count, int first) {
    char** symbols = backtrace_symbols(frames, count);
    os << "[bt]: omitted errorhandling on stacktrace" << std::endl;
    if (symbols == nullptr) {
        return;
    }
    for (int position = first; position < count; ++position) {
        printFrame(os, position, symbols[position]);
    }
    free(symbols);
}

}  // namespace

void print_trace(std::ostream& os, unsigned skipFunctionsCount) {
    void* frames[BACKTRACE_STACKFRAMES_COUNT];
    int count = ::backtrace(frames, BACKTRACE_STACKFRAMES_COUNT);
    unsigned skip = skipFunctionsCount + 1;
    if (skip >= static_cast<unsigned>(count)) {
        skip = 1;
    }
    printFrames(os, frames, count, static_cast<int>(skip));
}

void print_trace() {
    print_trace(std::cerr, 1);
}

void print_trace(unsigned skipFunctionsCount) {
    print_trace(std::cerr, skipFunctionsCount + 1);
}

void func_terminate_handler() {
    std::cerr << std::endl << "Asta la vista Baby - Program terminated on Exception!" << std::endl;
    print_trace(1);
    abort();
}

void func_unexpected_handler() {
    std::cerr << std::endl << "Unexpected Exception has been thrown!" << std::endl;
    print_trace(1);
    throw;
}
