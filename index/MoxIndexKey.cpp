#include "MoxIndexKey.h"

#include <cstring>

#include "../support/MoxError.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexKey::MoxIndexKey(const MoxIndexKey& other) {
    *this = other;
}

MoxIndexKey::~MoxIndexKey() {
    clear();
}

void MoxIndexKey::clear() {
    if (ownChar) {
        delete[] varcharKey;
    }
    ownChar = false;
    varcharKey = nullptr;
    intKey = 0;
}

MoxIndexKey& MoxIndexKey::operator=(const MoxIndexKey& other) {
    MOX_TRACE_ENTRY();
    if (this == &other) {
        return *this;
    }
    clear();
    dataType = other.dataType;
    switch (other.dataType) {
        case INTEGER:
            intKey = other.intKey;
            break;
        case VARCHAR:
            if (other.varcharKey != nullptr) {
                size_t length = strlen(other.varcharKey);
                varcharKey = new char[length + 1];
                memcpy(varcharKey, other.varcharKey, length + 1);
                ownChar = true;
            }
            break;
        default:
            MOX_SET_ERROR(MOX_INTERNAL_FAIL);
            break;
    }
    return *this;
}

bool MoxIndexKey::holdsText(const char* text) const {
    return dataType == VARCHAR && varcharKey != nullptr && text != nullptr;
}

// Each operator records a failed comparison itself, so that the trace record
// names the operator.

bool MoxIndexKey::operator<(const MoxIndexKey& other) const {
    switch (other.dataType) {
        case VARCHAR:
            return *this < other.varcharKey;
        case INTEGER:
            return *this < other.intKey;
        default:
            MOX_SET_ERROR(MOX_INTERNAL_FAIL);
            return false;
    }
}

bool MoxIndexKey::operator<(Sint32 value) const {
    if (dataType != INTEGER) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return false;
    }
    return intKey < value;
}

bool MoxIndexKey::operator<(const char* text) const {
    if (!holdsText(text)) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return false;
    }
    return strcmp(varcharKey, text) < 0;
}

bool MoxIndexKey::operator==(const MoxIndexKey& other) const {
    switch (other.dataType) {
        case VARCHAR:
            return *this == other.varcharKey;
        case INTEGER:
            return *this == other.intKey;
        default:
            MOX_SET_ERROR(MOX_INTERNAL_FAIL);
            return false;
    }
}

bool MoxIndexKey::operator==(Sint32 value) const {
    if (dataType != INTEGER) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return false;
    }
    return intKey == value;
}

bool MoxIndexKey::operator==(const char* text) const {
    if (!holdsText(text)) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return false;
    }
    return strcmp(varcharKey, text) == 0;
}

bool MoxIndexKey::operator<=(const MoxIndexKey& other) const {
    switch (other.dataType) {
        case VARCHAR:
            return *this <= other.varcharKey;
        case INTEGER:
            if (dataType != INTEGER) {
                MOX_SET_ERROR(MOX_INTERNAL_FAIL);
                return false;
            }
            return intKey <= other.intKey;
        default:
            MOX_SET_ERROR(MOX_INTERNAL_FAIL);
            return false;
    }
}

bool MoxIndexKey::operator<=(const char* text) const {
    if (!holdsText(text)) {
        MOX_SET_ERROR(MOX_INTERNAL_FAIL);
        return false;
    }
    return strcmp(varcharKey, text) <= 0;
}
