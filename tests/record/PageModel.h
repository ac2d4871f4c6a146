#ifndef MOX_PAGE_MODEL_H
#define MOX_PAGE_MODEL_H

#include <bitset>

#include "record/MoxRecordLayout.h"

// What a data page's free space is, computed from a map of its occupied
// bytes instead of the intervals the engine walks: the header, the slot
// directory with one reserved entry, and every record.
struct PageModel {
    typedef MoxRecordLayout L;

    Uint16 freeSpace = 0;
    Uint16 blockOffset = 0;
    Uint16 blockSize = 0;
    bool overlapping = false;  // records overlap each other or the directory (not its reserved entry)

    static PageModel of(const unsigned char* bytes) {
        PageModel model;
        const L::SlotPageHeader* header = reinterpret_cast<const L::SlotPageHeader*>(bytes);
        const L::Slot* slots = reinterpret_cast<const L::Slot*>(bytes + sizeof(L::SlotPageHeader));
        const unsigned slotCount = header->numberOfSlots;
        std::bitset<MOX_PAGE_SIZE> used;
        const unsigned directoryEnd = sizeof(L::SlotPageHeader) + 8 * slotCount;
        const unsigned reservedEnd = 8 * (slotCount + 4);
        for (unsigned i = 0; i < directoryEnd; ++i) used.set(i);
        unsigned inUse = 0;
        bool anyReusable = false;
        unsigned recordBytes = 0;
        for (unsigned id = 0; id < slotCount; ++id) {
            const L::Slot& slot = slots[id];
            if (slot.recordType == L::PlaceHolderTid) {
                ++inUse;
                continue;
            }
            anyReusable = anyReusable || slot.recordLength == 0;
            if (slot.recordLength == 0) continue;
            ++inUse;
            recordBytes += slot.recordLength;
            for (unsigned i = slot.offset; i < unsigned(slot.offset) + slot.recordLength && i < MOX_PAGE_SIZE; ++i) {
                model.overlapping = model.overlapping || used.test(i);
                used.set(i);
            }
        }
        if (slotCount == L::MAX_SLOTS && !anyReusable) {
            model.freeSpace = 0;
        } else {
            model.freeSpace = static_cast<Uint16>(MOX_PAGE_SIZE - reservedEnd - recordBytes);
        }
        if (inUse == L::MAX_SLOTS) return model;
        // The reserved entry counts as used, but a record may lie there.
        for (unsigned i = directoryEnd; i < reservedEnd; ++i) used.set(i);
        unsigned runStart = 0;
        unsigned run = 0;
        for (unsigned i = 0; i <= MOX_PAGE_SIZE; ++i) {
            if (i < MOX_PAGE_SIZE && !used.test(i)) {
                if (run++ == 0) runStart = i;
                continue;
            }
            if (run > model.blockSize) {
                model.blockSize = static_cast<Uint16>(run);
                model.blockOffset = static_cast<Uint16>(runStart);
            }
            run = 0;
        }
        return model;
    }
};

#endif
