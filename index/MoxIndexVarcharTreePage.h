#ifndef MOX_INDEX_VARCHAR_TREE_PAGE_H
#define MOX_INDEX_VARCHAR_TREE_PAGE_H

#include <cstddef>

#include "MoxIndexTreePage.h"

// What the varchar leaf and node pages share: VARCHAR_MARK at byte 17 and
// an entry area of variable-length entries stored back to back in
// ascending strcmp order of their keys, equal keys newest first. Each entry
// is a varcharEntry followed by the key's characters and a NUL, length + 7
// bytes in all; the bytes behind the last entry are zero. A leaf entry names
// its record, a node entry the child right of its separator.
//
// Positions handed to the virtual operations are entry numbers. Every walk
// over the area checks each entry against the bytes in use, so that a
// damaged page ends in MOX_INTERNAL_FAIL instead of a read past the page.
class MoxIndexVarcharTreePage : public MoxIndexTreePage {
  public:
    // The fixed part of an entry; the key's characters and a NUL follow.
    struct MOX_PACKED varcharEntry {
        Uint8 length;    // 0: characters of the key, at most MOX_INDEX_VARCHAR_LENGTH
        Uint8 padding;   // 1
        PageId page;     // 2-3: leaf: the page of the record's TupleId; node: the child
        SlotId slot;     // 4: leaf: the slot of the record's TupleId; node: 0
        Uint8 padding2;  // 5
    };

    // The length of an entry's fixed part.
    static constexpr Uint16 eLen = sizeof(varcharEntry);
    // The bytes of the longest entry.
    static constexpr Uint16 MAX_ENTRY_SIZE = eLen + MOX_INDEX_VARCHAR_LENGTH + 1;

    // Leaf: fewer than 7 free bytes; node: no room for the longest separator.
    bool isFull() const override;
    // The room for key characters: the free bytes after an entry's fixed part.
    Uint16 spaceLeft() const override;
    // MOX_INTERNAL_FAIL for a count that the bytes in use cannot hold.
    Uint16 numElements() const override;
    bool empty() const override;
    bool deleteKeyAt(Uint16 position) override;
    Uint16 findKeyPosition(const MoxIndexKey& key) const override;
    // The key points into the page (ownChar false) and is valid while this
    // object lives and the page is unchanged; "" for an empty page.
    MoxIndexKey getLastValue() const override;
    MoxIndexKey getValueAt(Uint16 position) const override;

  protected:
    // capacity bytes of entries from dataOffset on, their count at
    // countOffset; newPage formats the page empty.
    MoxIndexVarcharTreePage(MoxPage* frame, Kind kind, Uint16 countOffset, Uint16 dataOffset, Uint16 capacity,
                            bool newPage);

    void formatEmpty() override;
    Uint16 lowerBound(const MoxIndexKey& key) const override;

    // The characters of a key for this page; MOX_PARAMETER_FAIL for a key
    // without a string or longer than MOX_INDEX_VARCHAR_LENGTH.
    Uint8 keyLength(const MoxIndexKey& key) const;
    // Whether an entry with a key of length characters fits.
    bool fits(Uint8 length) const { return header()->spaceLeft >= entrySize(length); }
    static Uint16 entrySize(Uint8 length) { return static_cast<Uint16>(eLen + length + 1); }
    // The entry at position, its key and the byte offset of the entry in
    // the area (the bytes in use for position == numElements()).
    const varcharEntry& entryAt(Uint16 position) const;
    const char* keyAt(Uint16 position) const;
    Uint16 offsetOf(Uint16 position) const;
    // Stores an entry at position, moving the later ones up. REQUIRES: fits.
    void insertEntry(Uint16 position, const char* key, Uint8 length, PageId link, SlotId slot);
    // Appends the entries from position on of a page of the same kind, as
    // they are. REQUIRES: they fit.
    void appendEntries(const MoxIndexVarcharTreePage& from, Uint16 position);
    // Drops the entries from count on.
    void truncate(Uint16 count);
    // The position where the entries from it on hold at most half of the
    // bytes in use: the split point that leaves room in both halves for
    // the longest entry. At least 1 and below the count.
    Uint16 middlePosition() const;
    // The bytes of the entry area that the entries take.
    Uint16 bytesInUse() const;

  private:
    // The count field, which frames of the pool may hold at any address.
    Uint16 count() const;
    void setCount(Uint16 entries);
    unsigned char* area() const { return bytes() + dataOffset; }
    // The entry at byte offset, checked against the bytes in use.
    const varcharEntry& entryAtOffset(Uint16 offset, Uint16 used) const;
    // Forgets the remembered walk after a change of the page.
    void forgetWalk() const { walkFrame = nullptr; }

    const Kind kind;
    const Uint16 countOffset;
    const Uint16 dataOffset;
    const Uint16 capacity;
    // Where the last walk stopped, so that reading the entries in order is
    // not quadratic; valid while the page's LSN and counts stay as they were
    // and nothing here changed the page.
    mutable const MoxPage* walkFrame = nullptr;
    mutable MoxLsn walkLsn;
    mutable Uint16 walkUsed = 0;
    mutable Uint16 walkCount = 0;
    mutable Uint16 walkPosition = 0;
    mutable Uint16 walkOffset = 0;
};

static_assert(sizeof(MoxIndexVarcharTreePage::varcharEntry) == 6);
static_assert(offsetof(MoxIndexVarcharTreePage::varcharEntry, page) == 2);
static_assert(offsetof(MoxIndexVarcharTreePage::varcharEntry, slot) == 4);
static_assert(MoxIndexVarcharTreePage::MAX_ENTRY_SIZE == 262);

#endif
