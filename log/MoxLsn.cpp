#include "MoxLsn.h"

#include <cstddef>
#include <type_traits>

#include "MoxNumberPair.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

MoxLsn::MoxLsn(const std::string& text) : padding(0) {
    MOX_TRACE_ENTRY();
    // Checked here, inside a member, because the fields are private.
    static_assert(sizeof(MoxLsn) == 8 && offsetof(MoxLsn, filenumber) == 0 && offsetof(MoxLsn, offset) == 4);
    static_assert(std::is_trivially_copyable_v<MoxLsn> && std::is_standard_layout_v<MoxLsn>);
    // Parsed into locals: the fields of a packed type cannot be bound to references.
    Uint16 parsedFilenumber = 0;
    Uint32 parsedOffset = 0;
    if (!MoxNumberPair::parse(text, parsedFilenumber, parsedOffset)) {
        THROW_wARGS1(MOX_LOGM_LSN_PARSING_FAILED, text);
    }
    filenumber = parsedFilenumber;
    offset = parsedOffset;
}

std::string MoxLsn::dump() const {
    MOX_TRACE_ENTRY();
    return std::to_string(filenumber) + "," + std::to_string(offset);
}

std::ostream& operator<<(std::ostream& os, const MoxLsn& lsn) {
    return os << lsn.dump();
}
