#ifndef MOX_INDEX_INTEGER_TREE_PAGE_H
#define MOX_INDEX_INTEGER_TREE_PAGE_H

#include <cstddef>

#include "MoxIndexTreePage.h"

// What the integer leaf and node pages share: an array of 8-byte entries that begin with their Sint32 value, in
// ascending order of value, entries 0 to n-1 in use and the rest zero.
class MoxIndexIntegerTreePage : public MoxIndexTreePage {
  public:
    static constexpr Uint16 ENTRY_SIZE = 8;

    bool isFull() const override;
    Uint16 spaceLeft() const override;
    // MOX_INTERNAL_FAIL for a page whose spaceLeft exceeds its capacity.
    Uint16 numElements() const override;
    bool empty() const override;
    bool deleteKeyAt(Uint16 position) override;
    Uint16 findKeyPosition(const MoxIndexKey& key) const override;
    MoxIndexKey getLastValue() const override;
    MoxIndexKey getValueAt(Uint16 position) const override;

  protected:
    // capacity entries from entryOffset on; newPage formats the page empty.
    MoxIndexIntegerTreePage(MoxPage* frame, Kind kind, Uint16 entryOffset, Uint16 capacity, bool newPage);

    void formatEmpty() override;
    Uint16 lowerBound(const MoxIndexKey& key) const override { return findInsertPosition(key.intKey); }

    // The first position whose value is not below value (the number of
    // entries if none is): an equal key goes in front of its equals.
    Uint16 findInsertPosition(Sint32 value) const;
    // Moves the entries from position on up by one slot; REQUIRES: not full.
    void shiftRight(Uint16 position);
    // Moves the entries after position down by one slot over it and clears
    // the slot that the last one leaves.
    void shiftLeft(Uint16 position);
    // Drops the entries from count on.
    void truncate(Uint16 count);
    Sint32 valueAt(Uint16 position) const;
    unsigned char* entryAt(Uint16 position) const { return bytes() + entryOffset + position * ENTRY_SIZE; }
    const Uint16 capacity;

  private:
    const Kind kind;
    const Uint16 entryOffset;
};

#endif
