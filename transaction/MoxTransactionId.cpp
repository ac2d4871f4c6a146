#include "MoxTransactionId.h"

#include <cstddef>
#include <type_traits>

#include "../log/MoxNumberPair.h"
#include "../support/MoxException.h"
#include "../support/MoxProcess.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

const MoxTransactionId MoxTransactionId::INVALID_TRANSACTION_ID(0, 0);

MoxTransactionId::MoxTransactionId() : mProcessID(MoxProcess::id()), mUniqueCount(0), padding(0) {}

MoxTransactionId::MoxTransactionId(const std::string& text) : padding(0) {
    MOX_TRACE_ENTRY();
    // Checked here, inside a member, because the fields are private.
    static_assert(sizeof(pid_t) == sizeof(Sint32));
    static_assert(sizeof(MoxTransactionId) == 8 && offsetof(MoxTransactionId, mProcessID) == 0 &&
                  offsetof(MoxTransactionId, mUniqueCount) == 4);
    static_assert(std::is_trivially_copyable_v<MoxTransactionId> && std::is_standard_layout_v<MoxTransactionId>);
    // Parsed into locals: the fields of a packed type cannot be bound to references.
    Sint32 processId = 0;
    Uint16 uniqueCount = 0;
    if (!MoxNumberPair::parse(text, processId, uniqueCount)) {
        THROW_wARGS1(MOX_TRANSACTION_ID_PARSING_FAILED, text);
    }
    mProcessID = processId;
    mUniqueCount = uniqueCount;
}

std::string MoxTransactionId::dump() const {
    MOX_TRACE_ENTRY();
    return std::to_string(mProcessID) + "," + std::to_string(mUniqueCount);
}

std::ostream& operator<<(std::ostream& os, const MoxTransactionId& transactionId) {
    return os << transactionId.dump();
}
