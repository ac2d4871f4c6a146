#ifndef MOX_RECORD_TUPLE_H
#define MOX_RECORD_TUPLE_H

#include "MoxTuple.h"
#include "../catalog/MoxTable.h"
#include "../record/MoxRecord.h"

// The columns of one record of a table, read and written in the record's
// bytes. Every record of every table is laid out this way, catalog tables
// included: the columns in order, without header, padding or alignment;
//   INTEGER            4 bytes, Sint32 little-endian
//   VARCHAR            2-byte length n (Uint16 little-endian), n bytes of text
//   nullable column    an indicator byte first: 'N' is NULL and nothing of
//                      the value follows; anything else (written: '-') is
//                      followed by the value
//
// A tuple interprets a record (initialize with a record: every column
// present, values can be read and overwritten) or builds one (initialize
// without: columns are appended strictly in order from the first, and set
// ones may be overwritten; getRecord succeeds once the last one is set).
//
// The tuple owns its record; the table stays the caller's and must outlive
// the tuple. Used by one thread. Nothing throws: every operation records a
// failure in the error object (component RunTime; failures of the table
// pass through with theirs) and returns its code, and a failed operation
// changes nothing. Whatever bytes the record holds, no operation reads or
// writes outside it.
class MoxRecordTuple : public MoxTuple {
  public:
    // Start empty, then run the matching initialize, whose code is left in
    // the error object.
    MoxRecordTuple(MoxRecord* rec, const MoxTable* tab);
    explicit MoxRecordTuple(const MoxTable* tab);
    ~MoxRecordTuple() override;
    MoxRecordTuple(const MoxRecordTuple&) = delete;
    MoxRecordTuple& operator=(const MoxRecordTuple&) = delete;

    // Interprets rec as a row of tab. The tuple takes any non-null rec in
    // every case (a record it held before is deleted); a null rec or tab is
    // MOX_PARAMETER_FAIL. A record shorter than the table's minimum or
    // longer than its maximum record length is MOX_CAT_INVALID_RECORD_SIZE
    // (the tuple keeps it all the same).
    MoxErrorCode initialize(MoxRecord* rec, const MoxTable* tab);
    // Starts building a row of tab: the record (the one held, or a new one
    // with room for the table's longest row) is emptied and no column is
    // set. A null tab is MOX_PARAMETER_FAIL.
    MoxErrorCode initialize(const MoxTable* tab);

    // Reads need a set column of the matching type (else MOX_PARAMETER_FAIL
    // or MOX_CAT_DATATYPE_MISMATCH); bytes the record does not hold are
    // MOX_CAT_INVALID_RECORD_STRUCTURE. The results point into the record
    // and stay valid until it changes.
    MoxErrorCode getVarchar(Uint16 column, const char*& value, Uint16& length) override;
    // The pointer need not be 4-byte aligned: copy the value out with
    // memcpy, or use getIntValue.
    MoxErrorCode getInt(Uint16 column, const Sint32*& value) override;
    // getInt with the value copied out; isNull tells NULL (value is then 0).
    MoxErrorCode getIntValue(Uint16 column, Sint32& value, bool& isNull);

    // The table's column count (0 without a table).
    Uint16 getNumberColumns() override;
    // Forwarded to the table's getColumnName, getMaxColumnLength and
    // getColumnDatatype.
    MoxErrorCode getColumnName(Uint16 column, const char*& name) override;
    MoxErrorCode getMaxDataLength(Uint16 column, Uint16& length) override;
    MoxErrorCode getDataType(Uint16 column, MoxDataType& type) override;
    // The record's TupleId, null if it has none.
    const TupleId* getTupleId() override;

    // Writes go to the next unset column (appending) or a set one
    // (overwriting; the bytes behind it move). Beyond those, or beyond the
    // columns of the table: MOX_PARAMETER_FAIL. A wrong type is
    // MOX_CAT_DATATYPE_MISMATCH; a null value in a column that is not
    // nullable MOX_CAT_COLUMN_NOT_NULLABLE; a text longer than the column's
    // maximum MOX_CAT_VALUE_TOO_LONG. value may point into this record.
    MoxErrorCode setVarchar(Uint16 column, const char* value, Uint16 length) override;
    MoxErrorCode setInt(Uint16 column, const Sint32* value) override;

    // The record, owned by the tuple, once every column is set; before that
    // null with MOX_INTERNAL_FAIL.
    const MoxRecord* getRecord() const;

    // The byte offset where a set column (or, for the column count, the row's
    // end) begins.
    MoxErrorCode findAttributeOffset(Uint16 column, Uint16& offset);
    // Opens a gap of numBytes zero bytes at offset (at most the record's
    // length) and returns the record's buffer and new length. The buffer
    // may move.
    MoxErrorCode makeSpaceInRecord(Uint16 offset, Uint16 numBytes, unsigned char*& recordData, Uint16& recordLength);
    // Removes numBytes bytes at offset, all inside the record.
    MoxErrorCode closeGapInRecord(Uint16 offset, Uint16 numBytes, Uint16& recordLength);

  private:
    // The new bytes that replace a stretch of the record: a short head (an
    // indicator, an integer or a text length) and a body (the text); a null
    // body is that many zero bytes.
    struct Replacement {
        unsigned char head[1 + sizeof(Sint32)] = {};
        Uint16 headLength = 0;
        const unsigned char* body = nullptr;
        Uint16 bodyLength = 0;
    };

    // Whether the tuple has a table; records MOX_PARAMETER_FAIL if not.
    bool checkTable() const;
    // Type and nullability of a column; a type other than INTEGER and
    // VARCHAR is MOX_INTERNAL_FAIL.
    MoxErrorCode describeColumn(Uint16 column, MoxDataType& type, bool& nullable) const;
    // MOX_CAT_DATATYPE_MISMATCH unless the column's type is `wanted`.
    MoxErrorCode checkType(Uint16 column, MoxDataType wanted, MoxDataType actual) const;
    // MOX_CAT_INVALID_RECORD_STRUCTURE unless count bytes at offset lie
    // inside the record.
    MoxErrorCode checkInside(Uint32 offset, Uint32 count) const;
    // Advances offset over the column that begins there.
    MoxErrorCode stepOverColumn(Uint16 column, Uint32& offset) const;
    // Where the value of a set column of type `wanted` starts, or isNull.
    MoxErrorCode findValue(Uint16 column, MoxDataType wanted, Uint32& valueOffset, bool& isNull);
    // Checks a write's column number and type; gives the column's nullability.
    MoxErrorCode checkWrite(Uint16 column, MoxDataType wanted, bool& nullable);
    // Replaces the bytes of the column (none when appending) by the new ones.
    MoxErrorCode storeColumn(Uint16 column, const Replacement& bytes);
    // Replaces removeCount bytes at offset by the replacement; the record is
    // unchanged on failure.
    MoxErrorCode replaceBytes(Uint32 offset, Uint32 removeCount, const Replacement& bytes);

    MoxRecord* record = nullptr;
    // Columns present from the first on: all when interpreting.
    Uint16 numSetColumns = 0;
    const MoxTable* table = nullptr;
};

#endif
