#include "MoxRecord.h"

#include <cstring>
#include <new>

#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RecordManager;

MoxRecord::MoxRecord(const unsigned char* data, Uint16 length) {
    try {
        setData(data, length);
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
    }
}

MoxRecord::MoxRecord(const MoxRecord& other) : tupleId(other.tupleId), tupleIdSet(other.tupleIdSet) {
    setData(other.rawData, other.rawDataLength);
}

MoxRecord& MoxRecord::operator=(const MoxRecord& other) {
    if (this != &other) {
        setData(other.rawData, other.rawDataLength);
        tupleId = other.tupleId;
        tupleIdSet = other.tupleIdSet;
    }
    return *this;
}

MoxRecord::~MoxRecord() {
    delete[] rawData;
}

void MoxRecord::setData(const unsigned char* data, Uint16 length) {
    // The new buffer is filled before the old one goes, because data may
    // point into the old one.
    unsigned char* buffer = new (std::nothrow) unsigned char[length > 0 ? length : 1]();
    if (buffer == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    if (data != nullptr && length > 0) {
        std::memcpy(buffer, data, length);
    }
    delete[] rawData;
    rawData = buffer;
    allocLength = length;
    rawDataLength = data != nullptr ? length : 0;
}
