#include "MoxDumpTable.h"

#include <iostream>

#include "../support/MoxTrace.h"

static const MoxComponent componentId = BufferManager;

static const Uint32 ruleLength = 75;

MoxDumpTable::MoxDumpTable(const char* header, const char* underline) : header(header), underline(underline), rows(0) {
    MOX_TRACE_ENTRY();
}

std::ostream& MoxDumpTable::row() {
    MOX_TRACE_ENTRY();
    if (rows++ % rowsPerHeader == 0) {
        std::cout << header << '\n' << underline << '\n';
    }
    return std::cout;
}

void MoxDumpTable::rule(char c) {
    MOX_TRACE_ENTRY();
    std::cout << std::string(ruleLength, c) << '\n';
}

void MoxDumpTable::closing(const char* front, Uint32 number, const char* back) {
    MOX_TRACE_ENTRY();
    rule('-');
    std::cout << front << number << back << '\n';
}

std::string MoxDumpTable::next(Uint16 next, Uint16 head) {
    MOX_TRACE_ENTRY();
    return next == head ? std::string("<end>") : std::to_string(next);
}
