#ifndef MOX_RECORD_LAYOUT_H
#define MOX_RECORD_LAYOUT_H

#include <cstddef>
#include <type_traits>

#include "../buffer/MoxPage.h"
#include "../include/Mox.h"

// The byte layouts of a table segment's pages, as they are in the segment
// file and in the buffer pool: slotted data pages and free space inventory
// pages. Native (little-endian) byte order, packed; page bytes are overlaid
// with these structures only while the page is fixed.
//
// A base of MoxRecordManager (and of the page view MoxSlottedPage), so that
// the names read MoxRecordManager::Slot and so on.
class MoxRecordLayout {
  public:
    // The kind of a slot's content, one byte in the slot.
    enum RecordType : Uint8 {
        PrimaryRecord = 0,    // the record itself, addressed by its own TupleId
        SecondaryRecord = 1,  // a moved record, reached only through its forwarding slot
        PlaceHolderTid = 2    // a forwarding slot: holds the TupleId of the secondary record
    };

    static constexpr Uint16 MAX_SLOTS = 255;
    // Longest record: the largest length for which the inventory search can
    // still find an empty page.
    static constexpr Uint16 MAX_RECORD_LENGTH = 4055;
    static constexpr Uint16 FSI_BLOCK_SIZE = 16;
    static constexpr Uint32 MAX_FSI_ENTRIES = 254;
    // Every 255th page of a table is an inventory page.
    static constexpr Uint16 FSI_PAGE_DISTANCE = 255;
    // The last inventory page; it describes pages up to MOX_MAX_PAGE_ID.
    static constexpr PageId LAST_FSI_PAGE = 65280;

    // One entry of a data page's slot directory. A free slot has offset and
    // recordLength 0; a forwarding slot (PlaceHolderTid) holds the target's
    // page in offset and its slot in the low byte of recordLength.
    struct MOX_PACKED Slot {
        Uint16 offset;          // 0-1: first byte of the record in the page
        Uint16 recordLength;    // 2-3
        RecordType recordType;  // 4
        Uint8 padding[3];       // 5-7: zero
    };

    // The front of a data page; the slot directory follows at offset 24.
    // The free-space fields cache the page's state for the inventory and
    // the dumps; the page algorithms always recompute them.
    struct MOX_PACKED SlotPageHeader {
        MoxPage::PageHeader pageHeader;  // 0-15: pageType DataPage
        Uint16 freeSpace;                // 16-17: total free bytes
        Uint16 consecFreeSpace;          // 18-19: largest contiguous free block
        Uint16 consecFreeSpaceOffset;    // 20-21: where that block begins
        Uint8 numberOfSlots;             // 22: entries in the slot directory
        Uint8 padding;                   // 23: zero
    };

    // What the inventory knows of one data page, in units of FSI_BLOCK_SIZE
    // bytes, rounded down.
    struct MOX_PACKED FsiEntry {
        Uint8 freeSpace;       // 0: total free space / 16
        Uint8 freeSpaceBlock;  // 1: largest contiguous free block / 16
    };

    // A free space inventory page: entry i describes the page that lies
    // i + 1 pages behind it.
    struct MOX_PACKED FsiPage {
        MoxPage::PageHeader pageHeader;      // 0-15: pageType FreeSpaceInventoryPage
        Uint16 countEntries;                 // 16-17: pages of the range that exist
        FsiEntry pageInfo[MAX_FSI_ENTRIES];  // 18-525
        Uint8 unused[3570];                  // 526-4095: zero, never read
    };

    // Comparison functions for qsort over slot entries (the free-block
    // search's interval list and compaction's sort): -1 when the first
    // entry's key is smaller, else 1, never 0.
    static int compareSlotsByOffset(const void* first, const void* second) {
        return static_cast<const Slot*>(first)->offset < static_cast<const Slot*>(second)->offset ? -1 : 1;
    }
    static int slotCompare(const void* first, const void* second) { return compareSlotsByOffset(first, second); }
    static int compareSlotsByLength(const void* first, const void* second) {
        return static_cast<const Slot*>(first)->recordLength < static_cast<const Slot*>(second)->recordLength ? -1 : 1;
    }
};

static_assert(sizeof(MoxRecordLayout::RecordType) == 1);
static_assert(sizeof(MoxRecordLayout::Slot) == 8);
static_assert(offsetof(MoxRecordLayout::Slot, offset) == 0);
static_assert(offsetof(MoxRecordLayout::Slot, recordLength) == 2);
static_assert(offsetof(MoxRecordLayout::Slot, recordType) == 4);
static_assert(sizeof(MoxRecordLayout::SlotPageHeader) == 24);
static_assert(offsetof(MoxRecordLayout::SlotPageHeader, freeSpace) == 16);
static_assert(offsetof(MoxRecordLayout::SlotPageHeader, consecFreeSpace) == 18);
static_assert(offsetof(MoxRecordLayout::SlotPageHeader, consecFreeSpaceOffset) == 20);
static_assert(offsetof(MoxRecordLayout::SlotPageHeader, numberOfSlots) == 22);
static_assert(sizeof(MoxRecordLayout::FsiEntry) == 2);
static_assert(offsetof(MoxRecordLayout::FsiEntry, freeSpaceBlock) == 1);
static_assert(sizeof(MoxRecordLayout::FsiPage) == MOX_PAGE_SIZE);
static_assert(offsetof(MoxRecordLayout::FsiPage, countEntries) == 16);
static_assert(offsetof(MoxRecordLayout::FsiPage, pageInfo) == 18);
static_assert(offsetof(MoxRecordLayout::FsiPage, unused) == 526);
static_assert(alignof(MoxRecordLayout::SlotPageHeader) == 1 && alignof(MoxRecordLayout::FsiPage) == 1);
static_assert(std::is_trivially_copyable_v<MoxRecordLayout::FsiPage>);
// The largest directory ends at 24 + 8 * 255 bytes, well inside the page.
static_assert(sizeof(MoxRecordLayout::SlotPageHeader) + MoxRecordLayout::MAX_SLOTS * sizeof(MoxRecordLayout::Slot) <
              MOX_PAGE_SIZE);

#endif
