#ifndef MOX_SLOTTED_PAGE_H
#define MOX_SLOTTED_PAGE_H

#include "MoxRecordLayout.h"
#include "TupleId.h"

// A view of the 4096 bytes of one data page: the slot directory that grows
// from the front and the records that fill the page from the back. It
// chooses slots, measures free space, places, writes, frees and compacts
// records, always from the directory (never from the cached free-space
// fields of the header), and never reads or writes outside the page, however
// damaged the directory is.
//
// It takes no lock and no latch: the record manager calls it on a page it
// has fixed, under the locks that its operations check. The view does not
// own the bytes, which must outlive it. Failures throw MoxException and
// leave the page as it was.
class MoxSlottedPage : public MoxRecordLayout {
  public:
    // segment only names the page in messages.
    explicit MoxSlottedPage(unsigned char* pageBytes, SegmentId segment = 0) : bytes(pageBytes), segment(segment) {}
    // A view of a fixed frame; the reading operations take the frame as const.
    static MoxSlottedPage of(const MoxPage& page) {
        return MoxSlottedPage(const_cast<unsigned char*>(page.getPageData()), page.getSegmentId());
    }

    SlotPageHeader& header() const { return *reinterpret_cast<SlotPageHeader*>(bytes); }
    Slot& slot(SlotId slotId) const { return reinterpret_cast<Slot*>(bytes + sizeof(SlotPageHeader))[slotId]; }
    Uint8 numberOfSlots() const { return header().numberOfSlots; }
    PageId pageId() const { return header().pageHeader.pageId; }
    unsigned char* pageBytes() const { return bytes; }
    SegmentId segmentId() const { return segment; }

    static bool isFree(const Slot& entry) { return entry.offset == 0 && entry.recordLength == 0; }
    // Where the directory of the given number of slots ends, one more entry
    // reserved: 8 * (slots + 4). Free-space counting starts here.
    static Uint16 reservedDirectoryEnd(Uint16 slots) { return static_cast<Uint16>(8 * (slots + 4)); }
    // Where the directory itself ends: 24 + 8 * slots.
    static Uint16 directoryEnd(Uint16 slots) { return static_cast<Uint16>(sizeof(SlotPageHeader) + 8 * slots); }

    // The lowest free slot, else the next new one if the directory can grow
    // without reaching a record, one more entry still reserved. Throws MOX_RM_NO_MORE_SLOTS when all 255
    // are in use, MOX_RM_SLOT_OVER_DATA when the directory cannot grow.
    SlotId freeSlotId() const;
    // Total free bytes with one directory entry reserved; 0 when all 255
    // slots are in use. MOX_INTERNAL_FAIL when the slots claim more than the
    // page.
    Uint16 freeSpace() const;
    // The largest contiguous free block between the reserved directory end
    // and the page end; among equal blocks the lowest. (0, 0) when there is
    // none or all 255 slots are in use.
    void largestFreeBlock(Uint16& offset, Uint16& size) const;
    // Writes free space, largest block and its offset into the header's
    // cache; true when they differ from what it held.
    bool refreshFreeSpaceFields();
    // Where a record of length bytes goes: the high end of the largest
    // block. MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN when it does not fit or would
    // begin at offset 9 or below.
    Uint16 placeRecord(Uint16 length) const;

    // Copies length bytes to offset and sets the slot (type PrimaryRecord or
    // SecondaryRecord); a slot one behind the directory extends it.
    // MOX_INTERNAL_FAIL for another type, a slot further behind, or bytes
    // that would reach the directory or the page end.
    void writeRecord(SlotId slotId, const unsigned char* data, Uint16 length, RecordType type, Uint16 offset);
    // The bytes of a record slot, checked to lie in the data area:
    // MOX_RM_REC_NOT_FOUND for a free slot or one beyond the directory,
    // MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS (offset, page, segment) otherwise.
    const unsigned char* recordBytes(SlotId slotId) const;
    // Zeroes the record's bytes and the slot; the last slot leaves the
    // directory. MOX_RM_REC_NOT_FOUND beyond the directory.
    void freeSlot(SlotId slotId);
    // Zeroes the bytes of a record slot and sets its offset and length to 0,
    // keeping its type and its place in the directory, so that the record
    // can be written anew (a forwarding slot holds no bytes and stays).
    void releaseBytes(SlotId slotId);
    // Makes a slot of the directory a forwarding slot to target.
    // MOX_RM_REC_NOT_FOUND beyond the directory.
    void setForwarding(SlotId slotId, const TupleId& target);
    // Lets the directory grow to `slots` entries, the new ones free.
    // MOX_INTERNAL_FAIL when a record lies where the entries go.
    void growDirectory(Uint16 slots);
    // Where the lowest record begins; the page size when there is none.
    Uint16 recordsStart() const;
    // Moves the records to the page end, shortest last, so that all free
    // space is one block behind the directory; slots keep their numbers.
    // Returns that block. Checks every record before it moves one
    // (MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS for a record outside the data area,
    // MOX_INTERNAL_FAIL when the records add up to more than it holds), so a
    // damaged page is left as it was.
    void reorganize(Uint16& freeSpace, Uint16& freeSpaceOffset);
    // An empty slotted page: everything behind the page header zero.
    void format();

  private:
    // Throws unless the slot's record lies between the directory end and
    // the page end.
    void checkInDataArea(const Slot& entry) const;

    unsigned char* bytes;
    SegmentId segment;
};

#endif
