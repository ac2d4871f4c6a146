#ifndef MOX_RECORDED_FAILURE_H
#define MOX_RECORDED_FAILURE_H

#include <exception>
#include <ostream>
#include <string>

#include "MoxSupport.h"

// A failure that an engine operation returned as a code and recorded in the
// process's error object (the catalog's and the tuples' way), carried as an
// exception: the message and SQLSTATE as the error object formatted them,
// tokens included.
class MoxRecordedFailure : public std::exception {
  public:
    // Takes the error object's current message; code is what the call returned.
    explicit MoxRecordedFailure(MoxErrorCode code);

    // Throws for every code but MOX_SUCCESS, warnings included.
    static void check(MoxErrorCode code);

    MoxErrorCode getErrorCode() const { return code; }
    const char* what() const noexcept override { return message.c_str(); }
    // As MoxException prints its message: a blank line, the heading, the
    // message with its SQLSTATE.
    void print(std::ostream& out) const;

  private:
    MoxErrorCode code;
    std::string message;
    std::string sqlstate;
};

#endif
