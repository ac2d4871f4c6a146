#include "MoxRecordedFailure.h"

MoxRecordedFailure::MoxRecordedFailure(MoxErrorCode code) : code(code) {
    char text[MOX_ERROR_MESSAGE_LENGTH + 1] = {};
    char state[MOX_SQLSTATE_LENGTH + 1] = {};
    MoxError::getErrorObject()->getError(text, sizeof(text), state);
    message = text;
    sqlstate = state;
}

void MoxRecordedFailure::check(MoxErrorCode code) {
    if (code != MOX_SUCCESS) {
        throw MoxRecordedFailure(code);
    }
}

void MoxRecordedFailure::print(std::ostream& out) const {
    out << std::endl << "Exception aufgetreten: " << std::endl << message << " SQLSTATE=" << sqlstate << std::endl;
}
