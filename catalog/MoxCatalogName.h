#ifndef MOX_CATALOG_NAME_H
#define MOX_CATALOG_NAME_H

#include <cstddef>

#include "../include/Mox.h"
#include "MoxErrorCodes.h"

// The one rule by which table, column and index names are stored in their
// descriptors: a name of 1 to maxLength characters, copied and terminated.
class MoxCatalogName {
  public:
    // Copies `length` characters of name into target, which has room for
    // maxLength characters and the terminator, and terminates it. The caller
    // guarantees `length` readable characters at name (a terminator is not
    // needed). A null name or length 0 records MOX_PARAMETER_FAIL; a name
    // longer than maxLength records tooLongCode with the whole name and
    // maxLength as tokens. On failure target is left as it was.
    static MoxErrorCode store(char* target, Uint32 maxLength, const char* name, size_t length,
                              MoxErrorCode tooLongCode);

    MoxCatalogName() = delete;
};

#endif
