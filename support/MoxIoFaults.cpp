#include "MoxIoFaults.h"

#ifdef MOX_FAULT_INJECTION

namespace {

struct ArmedFault {
    bool armed = false;
    MoxIoFaults::Effect effect = MoxIoFaults::IoError;
    Uint64 n = 0;
    Uint32 operations = 0;
    Uint32 files = 0;
    Uint64 counted = 0;
    bool fired = false;
    std::string firedAt;
};

ArmedFault fault;

const char* nameOf(MoxIoFaults::Operation operation) {
    switch (operation) {
        case MoxIoFaults::Open:
            return "open";
        case MoxIoFaults::Close:
            return "close";
        case MoxIoFaults::Read:
            return "read";
        case MoxIoFaults::Write:
            return "write";
        case MoxIoFaults::Size:
            return "size query";
        case MoxIoFaults::Truncate:
            return "truncation";
        default:
            return "operation";
    }
}

}  // namespace

const MoxIoFaults::Effect* MoxIoFaults::due(Operation operation, FileKind file) {
    if (!fault.armed || (fault.operations & operation) == 0 || (fault.files & file) == 0) {
        return nullptr;
    }
    if (++fault.counted != fault.n) {
        return nullptr;
    }
    fault.fired = true;
    fault.firedAt = std::string(nameOf(operation)) + (file == SegmentFile ? " of a segment file" : " of a log file");
    return &fault.effect;
}

void MoxIoFaults::TEST_arm(Effect effect, Uint64 n, Uint32 operations, Uint32 files) {
    fault = ArmedFault();
    fault.armed = true;
    fault.effect = effect;
    fault.n = n;
    fault.operations = operations != 0 ? operations : operationsOf(effect);
    fault.files = files;
}

void MoxIoFaults::TEST_disarm() {
    fault.armed = false;
}

bool MoxIoFaults::TEST_fired() {
    return fault.fired;
}

std::string MoxIoFaults::TEST_firedAt() {
    return fault.firedAt;
}

Uint64 MoxIoFaults::TEST_counted() {
    return fault.counted;
}

#endif
