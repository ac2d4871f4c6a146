#ifndef MOX_TUPLE_H
#define MOX_TUPLE_H

#include "../include/Mox.h"
#include "MoxErrorCodes.h"
#include "../record/TupleId.h"

// A row of a table seen column by column: typed access to INTEGER and
// VARCHAR values with SQL NULL. Implementations report through return codes
// and the process's error object and never throw.
//
// The order of the virtual operations is fixed.
class MoxTuple {
  public:
    virtual ~MoxTuple() = default;

    // The text of a VARCHAR column and its length (not terminated), or null
    // and 0 for NULL.
    virtual MoxErrorCode getVarchar(Uint16 column, const char*& value, Uint16& length) = 0;
    // The value of an INTEGER column, or null for NULL.
    virtual MoxErrorCode getInt(Uint16 column, const Sint32*& value) = 0;
    virtual MoxErrorCode getColumnName(Uint16 column, const char*& name) = 0;
    virtual MoxErrorCode getMaxDataLength(Uint16 column, Uint16& length) = 0;
    virtual Uint16 getNumberColumns() = 0;
    virtual MoxErrorCode getDataType(Uint16 column, MoxDataType& type) = 0;
    // Null when the row has no address.
    virtual const TupleId* getTupleId() = 0;
    // A null value sets NULL.
    virtual MoxErrorCode setVarchar(Uint16 column, const char* value, Uint16 length) = 0;
    virtual MoxErrorCode setInt(Uint16 column, const Sint32* value) = 0;
};

#endif
