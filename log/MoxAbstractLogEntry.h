#ifndef MOX_ABSTRACT_LOG_ENTRY_H
#define MOX_ABSTRACT_LOG_ENTRY_H

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "MoxLsn.h"
#include "../transaction/MoxTransactionId.h"

// One change of a transaction, or its end, as one line of the log file. The
// serialised form is the on-disk log format: ";"-separated fields, each
// closed by ";", with raw image bytes after their length field.
//
// An entry is private to the process that builds it and owns every copy it
// holds. Copies are deep.
class MoxAbstractLogEntry {
  public:
    // The kind of a change; stored as its number in the log.
    enum transType {
        COMMIT = 1,
        ROLLBACK = 2,
        INSERT = 3,
        DELETE = 4,
        UPDATE = 5,
        CREATE = 6,
        DROP = 7,
        COMPENSATE_INSERT = 8,
        COMPENSATE_DELETE = 9,
        COMPENSATE_UPDATE = 10,
        COMPENSATE_CREATE = 11,
        COMPENSATE_DROP = 12,
        VARCHAR_OPERATION = 13,
        VARCHAR_REDO = 14,
        VARCHAR_UNDO = 15,
        INTEGER_OPERATION = 16,
        INTEGER_REDO = 17,
        INTEGER_UNDO = 18
    };

    virtual ~MoxAbstractLogEntry() = default;

    // The serialised form in a new zero-filled buffer of getLength() + 1
    // bytes that the caller frees with delete[]; sets the length.
    virtual char* serialize() = 0;
    // Writes the serialised form and an end of line to standard output.
    virtual void dump();

    MoxTransactionId getTransactionID() const { return transactionID; }
    int getTransactionType() const { return transactionType; }
    // Bytes of the serialised form; 0 until serialize() has run.
    int getLength() const { return length; }
    void setLength(int newLength) { length = newLength; }

    void setLsn(MoxLsn lsn) { sLsn = lsn.dump(); }
    // Throws MOX_LOGM_LSN_PARSING_FAILED while no valid LSN is set.
    MoxLsn getLsn() const { return MoxLsn(sLsn); }
    void setPrevLsn(MoxLsn lsn) { sPrevLsn = lsn.dump(); }
    void setPrevLsn(const std::string& lsn) { sPrevLsn = lsn; }
    const std::string& getPrevLsnText() const { return sPrevLsn; }

  protected:
    MoxAbstractLogEntry();
    MoxAbstractLogEntry(const MoxAbstractLogEntry&) = default;
    MoxAbstractLogEntry(MoxAbstractLogEntry&&) = default;
    MoxAbstractLogEntry& operator=(const MoxAbstractLogEntry&) = default;
    MoxAbstractLogEntry& operator=(MoxAbstractLogEntry&&) = default;

    // The common part of setting the fields; resets the length.
    void setCommonFields(MoxTransactionId transactionId, int type);

    // Joins the kind letter, the LSNs, the transaction id and then `fields`,
    // each closed by ";", into a new buffer; sets the length.
    char* serializeFields(char kind, std::initializer_list<std::string_view> fields);

    // A copy of length bytes and a terminating zero; null for no image. A
    // negative length, or bytes claimed from a null image, throws
    // MOX_PARAMETER_FAIL.
    static std::unique_ptr<char[]> copyImage(const char* image, int length);

    MoxTransactionId transactionID;
    int transactionType;
    int length;
    std::string sLsn;
    std::string sPrevLsn;
    std::string sTid;
    std::string sTT;
};

#endif
