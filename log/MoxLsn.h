#ifndef MOX_LSN_H
#define MOX_LSN_H

#include <ostream>
#include <string>

#include "../include/Mox.h"

// A log sequence number: the log file and the byte offset of a log record in
// it. Its 8-byte binary form (filenumber at 0, zero padding at 2, offset at 4)
// is stored in every page header and frame, so the type stays trivially
// copyable and standard-layout.
class MOX_PACKED MoxLsn {
  public:
    // Leaves the fields unset, so that the type can live in shared memory.
    MoxLsn() = default;
    MoxLsn(Uint16 filenumber, Uint32 offset) : filenumber(filenumber), padding(0), offset(offset) {}
    // Parses the text form "filenumber,offset"; throws
    // MOX_LOGM_LSN_PARSING_FAILED with the text as token when it is not one.
    explicit MoxLsn(const std::string& text);

    bool operator==(const MoxLsn& other) const { return filenumber == other.filenumber && offset == other.offset; }
    // Ordered by file first, then by offset.
    bool operator<(const MoxLsn& other) const {
        return filenumber != other.filenumber ? filenumber < other.filenumber : offset < other.offset;
    }
    bool operator>(const MoxLsn& other) const { return other < *this; }

    Uint16 getFilenumber() const { return filenumber; }
    Uint32 getOffset() const { return offset; }

    // (0,0): for changes that need no log record.
    static MoxLsn dummyLSN() { return MoxLsn(0, 0); }

    // The text form, e.g. "3,1024".
    std::string dump() const;

  private:
    Uint16 filenumber;  // 0-1
    Uint16 padding;     // 2-3: zero when built from values
    Uint32 offset;      // 4-7
};

std::ostream& operator<<(std::ostream& os, const MoxLsn& lsn);

#endif
