#ifndef MOX_RECORD_H
#define MOX_RECORD_H

#include "TupleId.h"
#include "../include/Mox.h"

// The bytes of one record, owned by the record, together with the TupleId it
// was read from (if any). The unit that the record manager stores and
// returns; the runtime tuples interpret its bytes.
//
// Used by one thread. Copies are deep.
class MoxRecord {
  public:
    // An empty record: no bytes, no TupleId.
    MoxRecord() = default;
    // Copies length bytes of data (a zero-filled buffer of length bytes and
    // length 0 when data is null). A failed allocation is recorded in the
    // error object, never thrown, and leaves the record empty.
    MoxRecord(const unsigned char* data, Uint16 length);
    MoxRecord(const MoxRecord& other);
    MoxRecord& operator=(const MoxRecord& other);
    ~MoxRecord();

    // Replaces the bytes with a copy of length bytes of data in a new buffer
    // of exactly length bytes; data may point into this record's own buffer.
    // Null data gives a zero-filled buffer and length 0. Throws
    // MOX_INTERNAL_FAIL when the buffer cannot be allocated.
    void setData(const unsigned char* data, Uint16 length);

    void setTupleId(const TupleId& tid) {
        tupleId = tid;
        tupleIdSet = true;
    }
    // Null when no TupleId was set.
    const TupleId* getTupleId() const { return tupleIdSet ? &tupleId : nullptr; }

    Uint16 getLength() const { return rawDataLength; }
    unsigned char* getRecordData() { return rawData; }
    const unsigned char* getRecordData() const { return rawData; }
    Uint16 getBufferLength() const { return allocLength; }

  private:
    TupleId tupleId;
    bool tupleIdSet = false;
    unsigned char* rawData = nullptr;
    Uint16 rawDataLength = 0;
    Uint16 allocLength = 0;
};

#endif
