#include "MoxRecordTuple.h"

#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RunTime;

// Values are stored in the machine's order, which the layout fixes as
// little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

const unsigned char nullIndicator = 'N';
const unsigned char valueIndicator = '-';
const Uint32 integerSize = sizeof(Sint32);
const Uint32 lengthSize = sizeof(Uint16);
static_assert(integerSize == 4 && lengthSize == 2);

const char* typeName(MoxDataType type) {
    return type == INTEGER ? "INTEGER" : "VARCHAR";
}

Uint16 readLength(const unsigned char* at) {
    Uint16 length;
    memcpy(&length, at, lengthSize);
    return length;
}

}  // namespace

MoxRecordTuple::MoxRecordTuple(MoxRecord* rec, const MoxTable* tab) {
    MOX_TRACE_ENTRY();
    initialize(rec, tab);
}

MoxRecordTuple::MoxRecordTuple(const MoxTable* tab) {
    MOX_TRACE_ENTRY();
    initialize(tab);
}

MoxRecordTuple::~MoxRecordTuple() {
    delete record;
}

MoxErrorCode MoxRecordTuple::initialize(MoxRecord* rec, const MoxTable* tab) {
    MOX_TRACE_ENTRY();
    // Taking the record even when the call fails keeps one rule for the
    // caller: a record handed to a tuple belongs to it.
    if (rec != nullptr && rec != record) {
        delete record;
        record = rec;
    }
    if (rec == nullptr) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    table = tab;
    numSetColumns = 0;
    if (table == nullptr) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    Uint16 count = 0;
    MoxErrorCode rc = table->getNumColumns(count);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    numSetColumns = count;
    Uint16 length = record->getLength();
    Uint16 minimum = table->getMinRecordLength();
    Uint16 maximum = table->getMaxRecordLength();
    if (length < minimum || length > maximum) {
        MOX_SET_ERROR_TOKEN3(MOX_CAT_INVALID_RECORD_SIZE, static_cast<Uint32>(length), static_cast<Uint32>(minimum),
                             static_cast<Uint32>(maximum));
        return MOX_CAT_INVALID_RECORD_SIZE;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::initialize(const MoxTable* tab) {
    MOX_TRACE_ENTRY();
    if (tab == nullptr) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    Uint16 room = tab->getMaxRecordLength();
    if (record == nullptr) {
        record = new (std::nothrow) MoxRecord(nullptr, room);
        if (record == nullptr) {
            MOX_SET_ERROR(MOX_INTERNAL_FAIL);
            return MOX_INTERNAL_FAIL;
        }
    } else {
        // A new row starts empty: bytes left from an earlier row would
        // otherwise trail behind the appended columns.
        try {
            record->setData(nullptr, room);
        } catch (const MoxException& exception) {
            exception.SET_ERROR();
            MOX_TRACE_ERROR();
            return MoxGetErrorCode();
        }
    }
    table = tab;
    numSetColumns = 0;
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::getVarchar(Uint16 column, const char*& value, Uint16& length) {
    MOX_TRACE_ENTRY();
    Uint32 offset = 0;
    bool isNull = false;
    MoxErrorCode rc = findValue(column, VARCHAR, offset, isNull);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    if (isNull) {
        value = nullptr;
        length = 0;
        return MOX_SUCCESS;
    }
    if ((rc = checkInside(offset, lengthSize)) != MOX_SUCCESS) {
        return rc;
    }
    Uint16 textLength = readLength(record->getRecordData() + offset);
    if ((rc = checkInside(offset + lengthSize, textLength)) != MOX_SUCCESS) {
        return rc;
    }
    value = reinterpret_cast<const char*>(record->getRecordData() + offset + lengthSize);
    length = textLength;
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::getInt(Uint16 column, const Sint32*& value) {
    MOX_TRACE_ENTRY();
    Uint32 offset = 0;
    bool isNull = false;
    MoxErrorCode rc = findValue(column, INTEGER, offset, isNull);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    if (isNull) {
        value = nullptr;
        return MOX_SUCCESS;
    }
    if ((rc = checkInside(offset, integerSize)) != MOX_SUCCESS) {
        return rc;
    }
    value = reinterpret_cast<const Sint32*>(record->getRecordData() + offset);
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::getIntValue(Uint16 column, Sint32& value, bool& isNull) {
    MOX_TRACE_ENTRY();
    const Sint32* inRecord = nullptr;
    MoxErrorCode rc = getInt(column, inRecord);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    isNull = inRecord == nullptr;
    value = 0;
    if (!isNull) {
        memcpy(&value, inRecord, integerSize);
    }
    return MOX_SUCCESS;
}

Uint16 MoxRecordTuple::getNumberColumns() {
    MOX_TRACE_ENTRY();
    Uint16 count = 0;
    if (table != nullptr) {
        table->getNumColumns(count);
    }
    return count;
}

MoxErrorCode MoxRecordTuple::getColumnName(Uint16 column, const char*& name) {
    MOX_TRACE_ENTRY();
    return checkTable() ? table->getColumnName(column, name) : MOX_PARAMETER_FAIL;
}

MoxErrorCode MoxRecordTuple::getMaxDataLength(Uint16 column, Uint16& length) {
    MOX_TRACE_ENTRY();
    return checkTable() ? table->getMaxColumnLength(column, length) : MOX_PARAMETER_FAIL;
}

MoxErrorCode MoxRecordTuple::getDataType(Uint16 column, MoxDataType& type) {
    MOX_TRACE_ENTRY();
    return checkTable() ? table->getColumnDatatype(column, type) : MOX_PARAMETER_FAIL;
}

const TupleId* MoxRecordTuple::getTupleId() {
    return record != nullptr ? record->getTupleId() : nullptr;
}

MoxErrorCode MoxRecordTuple::setVarchar(Uint16 column, const char* value, Uint16 length) {
    MOX_TRACE_ENTRY();
    bool nullable = false;
    MoxErrorCode rc = checkWrite(column, VARCHAR, nullable);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    if (value != nullptr) {
        Uint16 maxLength = 0;
        if ((rc = table->getMaxColumnLength(column, maxLength)) != MOX_SUCCESS) {
            MOX_TRACE_ERROR();
            return rc;
        }
        if (length > maxLength) {
            std::string text(value, length);
            MOX_SET_ERROR_TOKEN4(MOX_CAT_VALUE_TOO_LONG, text.c_str(), static_cast<Uint32>(column),
                                 static_cast<Uint32>(length), static_cast<Uint32>(maxLength));
            return MOX_CAT_VALUE_TOO_LONG;
        }
    } else if (!nullable) {
        MOX_SET_ERROR_TOKEN1(MOX_CAT_COLUMN_NOT_NULLABLE, static_cast<Uint32>(column));
        return MOX_CAT_COLUMN_NOT_NULLABLE;
    }
    Replacement bytes;
    if (nullable) {
        bytes.head[bytes.headLength++] = value != nullptr ? valueIndicator : nullIndicator;
    }
    if (value != nullptr) {
        memcpy(bytes.head + bytes.headLength, &length, lengthSize);
        bytes.headLength += lengthSize;
        bytes.body = reinterpret_cast<const unsigned char*>(value);
        bytes.bodyLength = length;
    }
    return storeColumn(column, bytes);
}

MoxErrorCode MoxRecordTuple::setInt(Uint16 column, const Sint32* value) {
    MOX_TRACE_ENTRY();
    bool nullable = false;
    MoxErrorCode rc = checkWrite(column, INTEGER, nullable);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    if (value == nullptr && !nullable) {
        MOX_SET_ERROR_TOKEN1(MOX_CAT_COLUMN_NOT_NULLABLE, static_cast<Uint32>(column));
        return MOX_CAT_COLUMN_NOT_NULLABLE;
    }
    Replacement bytes;
    if (nullable) {
        bytes.head[bytes.headLength++] = value != nullptr ? valueIndicator : nullIndicator;
    }
    if (value != nullptr) {
        // Copied before the record changes: value may point into it.
        memcpy(bytes.head + bytes.headLength, value, integerSize);
        bytes.headLength += integerSize;
    }
    return storeColumn(column, bytes);
}

const MoxRecord* MoxRecordTuple::getRecord() const {
    MOX_TRACE_ENTRY();
    Uint16 count = 0;
    if (record == nullptr || table == nullptr || table->getNumColumns(count) != MOX_SUCCESS || numSetColumns < count) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return nullptr;
    }
    return record;
}

MoxErrorCode MoxRecordTuple::findAttributeOffset(Uint16 column, Uint16& offset) {
    MOX_TRACE_ENTRY();
    if (record == nullptr || table == nullptr || column > numSetColumns) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    Uint32 position = 0;
    for (Uint16 before = 0; before < column; ++before) {
        MoxErrorCode rc = stepOverColumn(before, position);
        if (rc != MOX_SUCCESS) {
            MOX_TRACE_ERROR();
            return rc;
        }
    }
    offset = static_cast<Uint16>(position);
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::makeSpaceInRecord(Uint16 offset, Uint16 numBytes, unsigned char*& recordData,
                                               Uint16& recordLength) {
    MOX_TRACE_ENTRY();
    if (record == nullptr || offset > record->getLength()) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    Replacement gap;
    gap.bodyLength = numBytes;
    MoxErrorCode rc = replaceBytes(offset, 0, gap);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    recordData = record->getRecordData();
    recordLength = record->getLength();
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::closeGapInRecord(Uint16 offset, Uint16 numBytes, Uint16& recordLength) {
    MOX_TRACE_ENTRY();
    if (record == nullptr || static_cast<Uint32>(offset) + numBytes > record->getLength()) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    MoxErrorCode rc = replaceBytes(offset, numBytes, Replacement());
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    recordLength = record->getLength();
    return MOX_SUCCESS;
}

bool MoxRecordTuple::checkTable() const {
    if (table == nullptr) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return false;
    }
    return true;
}

MoxErrorCode MoxRecordTuple::describeColumn(Uint16 column, MoxDataType& type, bool& nullable) const {
    MOX_TRACE_ENTRY();
    MoxErrorCode rc = table->getColumnDatatype(column, type);
    if (rc == MOX_SUCCESS) {
        rc = table->getIsNullable(column, nullable);
    }
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    if (type != INTEGER && type != VARCHAR) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::checkType(Uint16 column, MoxDataType wanted, MoxDataType actual) const {
    if (actual != wanted) {
        MOX_SET_ERROR_TOKEN3(MOX_CAT_DATATYPE_MISMATCH, typeName(wanted), static_cast<Uint32>(column),
                             typeName(actual));
        return MOX_CAT_DATATYPE_MISMATCH;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::checkInside(Uint32 offset, Uint32 count) const {
    Uint32 length = record->getLength();
    if (offset + count > length) {
        MOX_SET_ERROR_TOKEN3(MOX_CAT_INVALID_RECORD_STRUCTURE, count, offset, length);
        return MOX_CAT_INVALID_RECORD_STRUCTURE;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::stepOverColumn(Uint16 column, Uint32& offset) const {
    MoxDataType type = UnknownDataType;
    bool nullable = false;
    MoxErrorCode rc = describeColumn(column, type, nullable);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    const unsigned char* data = record->getRecordData();
    Uint32 length = record->getLength();
    if (nullable) {
        if ((rc = checkInside(offset, 1)) != MOX_SUCCESS) {
            return rc;
        }
        if (data[offset++] == nullIndicator) {
            return MOX_SUCCESS;
        }
    }
    if (type == INTEGER) {
        offset += integerSize;
    } else {
        if (offset + lengthSize > length) {
            // Names the end of the missing length bytes.
            MOX_SET_ERROR_TOKEN3(MOX_CAT_INVALID_RECORD_STRUCTURE, lengthSize, offset + lengthSize, length);
            return MOX_CAT_INVALID_RECORD_STRUCTURE;
        }
        offset += lengthSize + readLength(data + offset);
    }
    if (offset > length) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::findValue(Uint16 column, MoxDataType wanted, Uint32& valueOffset, bool& isNull) {
    MOX_TRACE_ENTRY();
    if (record == nullptr || table == nullptr || column >= numSetColumns) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    MoxDataType type = UnknownDataType;
    bool nullable = false;
    MoxErrorCode rc = describeColumn(column, type, nullable);
    if (rc == MOX_SUCCESS) rc = checkType(column, wanted, type);
    Uint16 offset = 0;
    if (rc == MOX_SUCCESS) rc = findAttributeOffset(column, offset);
    if (rc == MOX_SUCCESS && nullable) rc = checkInside(offset, 1);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    isNull = nullable && record->getRecordData()[offset] == nullIndicator;
    valueOffset = offset + (nullable ? 1 : 0);
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::checkWrite(Uint16 column, MoxDataType wanted, bool& nullable) {
    MOX_TRACE_ENTRY();
    Uint16 count = 0;
    if (record == nullptr || table == nullptr || column > numSetColumns || table->getNumColumns(count) != MOX_SUCCESS ||
        column >= count) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    MoxDataType type = UnknownDataType;
    MoxErrorCode rc = describeColumn(column, type, nullable);
    if (rc == MOX_SUCCESS) rc = checkType(column, wanted, type);
    return rc;
}

MoxErrorCode MoxRecordTuple::storeColumn(Uint16 column, const Replacement& bytes) {
    MOX_TRACE_ENTRY();
    Uint16 offset = 0;
    MoxErrorCode rc = findAttributeOffset(column, offset);
    Uint32 end = offset;
    bool appending = column == numSetColumns;
    if (rc == MOX_SUCCESS && !appending) rc = stepOverColumn(column, end);
    if (rc == MOX_SUCCESS) rc = replaceBytes(offset, end - offset, bytes);
    if (rc != MOX_SUCCESS) {
        MOX_TRACE_ERROR();
        return rc;
    }
    if (appending) {
        ++numSetColumns;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxRecordTuple::replaceBytes(Uint32 offset, Uint32 removeCount, const Replacement& bytes) {
    MOX_TRACE_ENTRY();
    Uint32 length = record->getLength();
    Uint32 insertCount = static_cast<Uint32>(bytes.headLength) + bytes.bodyLength;
    Uint32 newLength = length - removeCount + insertCount;
    if (newLength > MOX_MAX_UINT16) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    unsigned char* data = record->getRecordData();
    if (insertCount == removeCount) {
        // In place, so that pointers into the record stay valid; memmove
        // because the body may be a part of the record itself.
        if (bytes.headLength > 0) {
            memcpy(data + offset, bytes.head, bytes.headLength);
        }
        if (bytes.body != nullptr && bytes.bodyLength > 0) {
            memmove(data + offset + bytes.headLength, bytes.body, bytes.bodyLength);
        } else if (bytes.bodyLength > 0) {
            memset(data + offset + bytes.headLength, 0, bytes.bodyLength);
        }
        return MOX_SUCCESS;
    }
    // Built apart and then stored, so that a failure leaves the record as it
    // was and a body taken from the record is read before it changes.
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[newLength > 0 ? newLength : 1]());
    if (buffer == nullptr) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return MOX_INTERNAL_FAIL;
    }
    unsigned char* out = buffer.get();
    if (offset > 0) {
        memcpy(out, data, offset);
    }
    memcpy(out + offset, bytes.head, bytes.headLength);
    if (bytes.body != nullptr && bytes.bodyLength > 0) {
        memcpy(out + offset + bytes.headLength, bytes.body, bytes.bodyLength);
    }
    Uint32 tail = length - offset - removeCount;
    if (tail > 0) {
        memcpy(out + offset + insertCount, data + offset + removeCount, tail);
    }
    try {
        record->setData(out, static_cast<Uint16>(newLength));
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
        return MoxGetErrorCode();
    }
    return MOX_SUCCESS;
}
