#ifndef MOX_TRANSACTION_ID_H
#define MOX_TRANSACTION_ID_H

#include <sys/types.h>

#include <ostream>
#include <string>

#include "../include/Mox.h"

// Names a transaction: the process that runs it and a running count within
// that process. The 8-byte binary form (process id at 0, count at 4, padding
// at 6) is what the lock list stores; only the first 6 bytes are significant.
class MOX_PACKED MoxTransactionId {
  public:
    // The calling process with count 0.
    MoxTransactionId();
    MoxTransactionId(pid_t processId, Uint16 uniqueCount)
        : mProcessID(processId), mUniqueCount(uniqueCount), padding(0) {}
    // Parses the text form "processId,count"; throws
    // MOX_TRANSACTION_ID_PARSING_FAILED with the text as token when it is not one.
    explicit MoxTransactionId(const std::string& text);

    bool operator==(const MoxTransactionId& other) const {
        return mProcessID == other.mProcessID && mUniqueCount == other.mUniqueCount;
    }
    bool operator!=(const MoxTransactionId& other) const { return !(*this == other); }

    pid_t getProcessId() const { return mProcessID; }
    Uint16 getUniqueCount() const { return mUniqueCount; }

    // The text form, e.g. "4711,2".
    std::string dump() const;

    // (0,0): held by free lock and waiting entries.
    static const MoxTransactionId INVALID_TRANSACTION_ID;

  private:
    Sint32 mProcessID;    // 0-3
    Uint16 mUniqueCount;  // 4-5
    Uint16 padding;       // 6-7: zero when built from values
};

std::ostream& operator<<(std::ostream& os, const MoxTransactionId& transactionId);

#endif
