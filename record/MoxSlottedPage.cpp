#include "MoxSlottedPage.h"

#include <cstdlib>
#include <cstring>

#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RecordManager;

namespace {

// A record placed at offset 9 or below would overlap the page header.
const Uint16 lowestRecordOffset = 10;

}  // namespace

SlotId MoxSlottedPage::freeSlotId() const {
    MOX_TRACE_ENTRY();
    const Uint8 slots = numberOfSlots();
    Uint32 lowestOffset = MOX_PAGE_SIZE;
    for (Uint16 id = 0; id < slots; ++id) {
        const Slot& entry = slot(static_cast<SlotId>(id));
        if (isFree(entry)) {
            return static_cast<SlotId>(id);
        }
        if (entry.recordType != PlaceHolderTid && entry.offset != 0 && entry.offset < lowestOffset) {
            lowestOffset = entry.offset;
        }
    }
    if (slots == MAX_SLOTS) {
        THROW(MOX_RM_NO_MORE_SLOTS);
    }
    // The grown directory keeps one more entry reserved, as every free-space
    // count does: a record inside that entry would count as free space and
    // used space at once, and the page's free space would fall below its
    // largest block.
    if (reservedDirectoryEnd(static_cast<Uint16>(slots + 1)) > lowestOffset) {
        THROW(MOX_RM_SLOT_OVER_DATA);
    }
    return slots;
}

Uint16 MoxSlottedPage::freeSpace() const {
    MOX_TRACE_ENTRY();
    const Uint8 slots = numberOfSlots();
    bool anyReusable = false;
    Uint32 used = reservedDirectoryEnd(slots);
    for (Uint16 id = 0; id < slots; ++id) {
        const Slot& entry = slot(static_cast<SlotId>(id));
        if (entry.recordType == PlaceHolderTid) {
            continue;
        }
        anyReusable = anyReusable || entry.recordLength == 0;
        used += entry.recordLength;
    }
    if (slots == MAX_SLOTS && !anyReusable) {
        return 0;
    }
    // Exactly full is a page without free space, not a damaged one.
    if (used > MOX_PAGE_SIZE) {
        THROW(MOX_INTERNAL_FAIL);
    }
    return static_cast<Uint16>(MOX_PAGE_SIZE - used);
}

void MoxSlottedPage::largestFreeBlock(Uint16& offset, Uint16& size) const {
    MOX_TRACE_ENTRY();
    const Uint8 slots = numberOfSlots();
    // Occupied intervals: the directory with its reserved entry, the
    // records (highest slot first), the page end. At most 257.
    Slot intervals[MAX_SLOTS + 2];
    Uint16 count = 0;
    intervals[count++] = Slot{reservedDirectoryEnd(slots), 0, PrimaryRecord, {}};
    Uint16 forwardings = 0;
    bool ascending = true;
    for (int id = slots - 1; id >= 0; --id) {
        const Slot& entry = slot(static_cast<SlotId>(id));
        if (entry.recordType == PlaceHolderTid) {
            ++forwardings;
        } else if (entry.recordLength > 0) {
            ascending = ascending && entry.offset >= intervals[count - 1].offset;
            intervals[count++] = entry;
        }
    }
    offset = 0;
    size = 0;
    if (count - 1 + forwardings == MAX_SLOTS) {
        return;
    }
    intervals[count++] = Slot{MOX_PAGE_SIZE, 0, PrimaryRecord, {}};
    // Records are placed from the back, so a walk from the highest slot
    // down meets them in ascending order and the sort is usually skipped.
    if (!ascending) {
        qsort(intervals, count, sizeof(Slot), slotCompare);
    }
    // The end reached so far, not just the previous interval's end: equal
    // offsets may come in either order, and a damaged page may hold
    // overlapping records, neither of which may count as free.
    Sint32 end = intervals[0].offset;
    Sint32 best = 0;
    for (Uint16 i = 0; i + 1 < count; ++i) {
        end = MoxMax<Sint32>(end, intervals[i].offset + intervals[i].recordLength);
        Sint32 gap = intervals[i + 1].offset - end;
        if (gap > best) {
            best = gap;
            offset = static_cast<Uint16>(end);
            size = static_cast<Uint16>(gap);
        }
    }
}

bool MoxSlottedPage::refreshFreeSpaceFields() {
    MOX_TRACE_ENTRY();
    Uint16 blockOffset = 0;
    Uint16 blockSize = 0;
    largestFreeBlock(blockOffset, blockSize);
    const Uint16 total = freeSpace();
    SlotPageHeader& cache = header();
    const bool changed =
        cache.freeSpace != total || cache.consecFreeSpace != blockSize || cache.consecFreeSpaceOffset != blockOffset;
    cache.freeSpace = total;
    cache.consecFreeSpace = blockSize;
    cache.consecFreeSpaceOffset = blockOffset;
    return changed;
}

Uint16 MoxSlottedPage::placeRecord(Uint16 length) const {
    MOX_TRACE_ENTRY();
    Uint16 blockOffset = 0;
    Uint16 blockSize = 0;
    largestFreeBlock(blockOffset, blockSize);
    if (blockSize == 0 || blockSize < length) {
        THROW(MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN);
    }
    Uint16 offset = static_cast<Uint16>(blockOffset + blockSize - length);
    if (offset < lowestRecordOffset) {
        THROW(MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN);
    }
    return offset;
}

void MoxSlottedPage::writeRecord(SlotId slotId, const unsigned char* data, Uint16 length, RecordType type,
                                 Uint16 offset) {
    MOX_TRACE_ENTRY();
    const Uint8 slots = numberOfSlots();
    if ((type != PrimaryRecord && type != SecondaryRecord) || slotId > slots || slotId == MOX_INVALID_SLOT_ID ||
        (data == nullptr && length > 0)) {
        THROW(MOX_INTERNAL_FAIL);
    }
    const Uint16 slotsAfter = MoxMax<Uint16>(slots, static_cast<Uint16>(slotId + 1));
    if (offset < directoryEnd(slotsAfter) || offset + length > MOX_PAGE_SIZE) {
        THROW(MOX_INTERNAL_FAIL);
    }
    if (length > 0) {
        memcpy(bytes + offset, data, length);
    }
    header().numberOfSlots = static_cast<Uint8>(slotsAfter);
    Slot& entry = slot(slotId);
    entry.offset = offset;
    entry.recordLength = length;
    entry.recordType = type;
}

void MoxSlottedPage::checkInDataArea(const Slot& entry) const {
    if (entry.offset < directoryEnd(numberOfSlots()) || entry.offset + entry.recordLength > MOX_PAGE_SIZE) {
        THROW_wARGS3(MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS, entry.offset, pageId(), segment);
    }
}

const unsigned char* MoxSlottedPage::recordBytes(SlotId slotId) const {
    MOX_TRACE_ENTRY();
    if (slotId >= numberOfSlots() || isFree(slot(slotId))) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    const Slot& entry = slot(slotId);
    checkInDataArea(entry);
    return bytes + entry.offset;
}

void MoxSlottedPage::freeSlot(SlotId slotId) {
    MOX_TRACE_ENTRY();
    const Uint8 slots = numberOfSlots();
    if (slotId >= slots) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    Slot& entry = slot(slotId);
    if (entry.recordType != PlaceHolderTid && entry.recordLength > 0) {
        checkInDataArea(entry);
        memset(bytes + entry.offset, 0, entry.recordLength);
    }
    memset(&entry, 0, sizeof(entry));
    if (slotId == slots - 1) {
        header().numberOfSlots = static_cast<Uint8>(slots - 1);
    }
}

void MoxSlottedPage::releaseBytes(SlotId slotId) {
    MOX_TRACE_ENTRY();
    Slot& entry = slot(slotId);
    if (slotId >= numberOfSlots() || entry.recordType == PlaceHolderTid || entry.recordLength == 0) {
        return;
    }
    checkInDataArea(entry);
    memset(bytes + entry.offset, 0, entry.recordLength);
    entry.offset = 0;
    entry.recordLength = 0;
}

void MoxSlottedPage::setForwarding(SlotId slotId, const TupleId& target) {
    MOX_TRACE_ENTRY();
    if (slotId >= numberOfSlots()) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    Slot& entry = slot(slotId);
    entry.offset = target.page;
    entry.recordLength = target.slot;
    entry.recordType = PlaceHolderTid;
}

void MoxSlottedPage::growDirectory(Uint16 slots) {
    MOX_TRACE_ENTRY();
    const Uint8 current = numberOfSlots();
    if (slots <= current) {
        return;
    }
    if (slots > MAX_SLOTS || directoryEnd(slots) > recordsStart()) {
        THROW(MOX_INTERNAL_FAIL);
    }
    memset(&slot(current), 0, sizeof(Slot) * (slots - current));
    header().numberOfSlots = static_cast<Uint8>(slots);
}

Uint16 MoxSlottedPage::recordsStart() const {
    MOX_TRACE_ENTRY();
    Uint16 lowest = MOX_PAGE_SIZE;
    for (Uint16 id = 0; id < numberOfSlots(); ++id) {
        const Slot& entry = slot(static_cast<SlotId>(id));
        if (entry.recordType != PlaceHolderTid && entry.recordLength > 0) {
            lowest = MoxMin<Uint16>(lowest, entry.offset);
        }
    }
    return lowest;
}

void MoxSlottedPage::reorganize(Uint16& freeSpace, Uint16& freeSpaceOffset) {
    MOX_TRACE_ENTRY();
    const Uint8 slots = numberOfSlots();
    const Uint16 dataStart = directoryEnd(slots);
    // Sorted copies of the record slots, each with its slot number.
    struct SortedSlot {
        Slot entry;  // first, so that the slot comparison reads it
        SlotId id;
    };
    SortedSlot sorted[MAX_SLOTS];
    Uint16 records = 0;
    Uint32 total = 0;
    for (Uint16 id = 0; id < slots; ++id) {
        const Slot& entry = slot(static_cast<SlotId>(id));
        if (entry.recordType != PlaceHolderTid && entry.recordLength > 0) {
            checkInDataArea(entry);
            total += entry.recordLength;
            sorted[records++] = SortedSlot{entry, static_cast<SlotId>(id)};
        }
    }
    if (dataStart + total > MOX_PAGE_SIZE) {
        THROW(MOX_INTERNAL_FAIL);
    }
    qsort(sorted, records, sizeof(SortedSlot), compareSlotsByLength);

    unsigned char scratch[MOX_PAGE_SIZE] = {};
    memcpy(scratch, bytes, dataStart);
    MoxSlottedPage compacted(scratch, segment);
    Uint16 current = MOX_PAGE_SIZE;
    for (Uint16 i = 0; i < records; ++i) {
        const Slot& entry = sorted[i].entry;
        current = static_cast<Uint16>(current - entry.recordLength);
        memcpy(scratch + current, bytes + entry.offset, entry.recordLength);
        compacted.slot(sorted[i].id).offset = current;
    }
    memcpy(bytes, scratch, MOX_PAGE_SIZE);
    freeSpaceOffset = dataStart;
    freeSpace = static_cast<Uint16>(current - dataStart);
}

void MoxSlottedPage::format() {
    MOX_TRACE_ENTRY();
    memset(bytes + sizeof(MoxPage::PageHeader), 0, MOX_PAGE_SIZE - sizeof(MoxPage::PageHeader));
}
