#include "MoxCatalogName.h"

#include <cstring>
#include <string>

#include "../support/MoxError.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = CatalogManager;

MoxErrorCode MoxCatalogName::store(char* target, Uint32 maxLength, const char* name, size_t length,
                                   MoxErrorCode tooLongCode) {
    MOX_TRACE_ENTRY();
    if (name == nullptr || length == 0) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    if (length > maxLength) {
        // The name need not be terminated within `length`.
        std::string wholeName(name, length);
        MOX_SET_ERROR_TOKEN2(tooLongCode, wholeName.c_str(), maxLength);
        return tooLongCode;
    }
    memcpy(target, name, length);
    target[length] = '\0';
    return MOX_SUCCESS;
}
