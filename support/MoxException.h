#ifndef MOX_EXCEPTION_H
#define MOX_EXCEPTION_H

#include <exception>
#include <ostream>
#include <sstream>
#include <string>

#include "../include/Mox.h"
#include "MoxErrorCodes.h"

// Most stack frames that an exception's back-trace captures.
#define BACKTRACE_STACKFRAMES_COUNT 30

// The exception of operations that have no result code: a code, up to four
// message tokens, the raising place and the stack back-trace at construction.
// Every field is constant after construction. The back-trace is kept as
// return addresses and turned into text on first use: the symbol look-up
// costs far more than the throw, and most exceptions are handled without
// ever being printed.
class MoxException : public std::exception {
  public:
    MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function);
    MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function,
                 std::string errorToken1);
    MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function, std::string errorToken1,
                 std::string errorToken2);
    MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function, std::string errorToken1,
                 std::string errorToken2, std::string errorToken3);
    MoxException(MoxErrorCode errorCode, std::string file, unsigned line, std::string function, std::string errorToken1,
                 std::string errorToken2, std::string errorToken3, std::string errorToken4);
    MoxException(MoxErrorCode errorCode, std::string call, std::string file, unsigned line, std::string function);
    // A failed call whose message needs tokens that its code alone does not carry.
    MoxException(MoxErrorCode errorCode, std::string call, std::string file, unsigned line, std::string function,
                 std::string errorToken1, std::string errorToken2, std::string errorToken3, std::string errorToken4);
    // Raised while `original` is being handled; the pointer is valid only as
    // long as that handler runs.
    MoxException(const MoxException& original, MoxErrorCode errorCode, std::string call, std::string file,
                 unsigned line, std::string function);
    MoxException(const MoxException& other) = default;
    virtual ~MoxException() noexcept;

    // By value: a token is often a field of a packed page or shared
    // structure, to which a reference may be misaligned.
    template <typename T>
    static std::string to_string(T value) {
        std::ostringstream text;
        text << value;
        return text.str();
    }

    // Throws a MoxException for every code but MOX_SUCCESS, warnings included.
    static MoxErrorCode raise(MoxErrorCode rc, std::string call, std::string file, unsigned line, std::string function);
    // The same for texts that are literals: on success nothing is built.
    static MoxErrorCode raise(MoxErrorCode rc, const char* call, const char* file, unsigned line,
                              const char* function) {
        if (rc == MOX_SUCCESS) {
            return MOX_SUCCESS;
        }
        return raise(rc, std::string(call), std::string(file), line, std::string(function));
    }
    // The same with tokens for a message that the code alone cannot fill.
    static MoxErrorCode raise(MoxErrorCode rc, std::string call, std::string file, unsigned line, std::string function,
                              std::string errorToken1, std::string errorToken2, std::string errorToken3 = std::string(),
                              std::string errorToken4 = std::string());

    MoxErrorCode getErrorCode() const { return errorCode; }
    const MoxException* getOriginal() const { return original; }
    const std::string& getCall() const { return call; }
    const std::string& getFile() const { return file; }
    Uint32 getLine() const { return line; }
    const std::string& getFunction() const { return function; }
    const std::string& getErrorToken(int number) const;
    const std::string& getBacktrace() const;

    // A blank line, the heading, the message with its SQLSTATE, the back-trace.
    void print(std::ostream& os) const;
    void print_message(std::ostream& os) const;

    // Copies the exception into the process's error object.
    void SET_ERROR() const;

    std::string get_trace() const;

  private:
    const MoxException* const original;
    const MoxErrorCode errorCode;
    const std::string call;
    const std::string file;
    const Uint32 line;
    const std::string function;
    const std::string errorToken1;
    const std::string errorToken2;
    const std::string errorToken3;
    const std::string errorToken4;
    void* frames[BACKTRACE_STACKFRAMES_COUNT];
    const int frameCount;
    // The frames as text, once asked for.
    mutable std::string backtrace;
};

// Back-trace renderer: writes the current stack, leaving out the innermost
// skipFunctionsCount frames besides its own.
void print_trace(std::ostream& os, unsigned skipFunctionsCount);
void print_trace();
void print_trace(unsigned skipFunctionsCount);

// For programs that install them as terminate and unexpected handlers.
[[noreturn]] void func_terminate_handler();
[[noreturn]] void func_unexpected_handler();

#define THROW(rc) throw MoxException((rc), std::string(__FILE__), __LINE__, std::string(__FUNCTION__))

#define THROW_wARGS1(rc, t1) \
    throw MoxException((rc), std::string(__FILE__), __LINE__, std::string(__FUNCTION__), MoxException::to_string(t1))

#define THROW_wARGS2(rc, t1, t2)                                                                                      \
    throw MoxException((rc), std::string(__FILE__), __LINE__, std::string(__FUNCTION__), MoxException::to_string(t1), \
                       MoxException::to_string(t2))

#define THROW_wARGS3(rc, t1, t2, t3)                                                                                  \
    throw MoxException((rc), std::string(__FILE__), __LINE__, std::string(__FUNCTION__), MoxException::to_string(t1), \
                       MoxException::to_string(t2), MoxException::to_string(t3))

#define THROW_wARGS4(rc, t1, t2, t3, t4)                                                                              \
    throw MoxException((rc), std::string(__FILE__), __LINE__, std::string(__FUNCTION__), MoxException::to_string(t1), \
                       MoxException::to_string(t2), MoxException::to_string(t3), MoxException::to_string(t4))

#define THROW_RC(func) MoxException::raise((func), #func, __FILE__, __LINE__, __FUNCTION__)

#define THROW_RC_EX(oldex, func)                                                                  \
    do {                                                                                          \
        MoxErrorCode moxThrowRcExCode = (func);                                                   \
        if (moxThrowRcExCode != MOX_SUCCESS) {                                                    \
            throw MoxException((oldex), moxThrowRcExCode, #func, std::string(__FILE__), __LINE__, \
                               std::string(__FUNCTION__));                                        \
        }                                                                                         \
    } while (0)

#endif
