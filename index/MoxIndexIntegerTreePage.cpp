#include "MoxIndexIntegerTreePage.h"

#include <cstring>

#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexIntegerTreePage::MoxIndexIntegerTreePage(MoxPage* frame, Kind kind, Uint16 entryOffset, Uint16 capacity,
                                                 bool newPage)
    : MoxIndexTreePage(frame, INTEGER), capacity(capacity), kind(kind), entryOffset(entryOffset) {
    if (newPage) {
        formatEmpty();
    }
}

void MoxIndexIntegerTreePage::formatEmpty() {
    memset(bytes() + sizeof(MoxPage::PageHeader), 0, MOX_PAGE_SIZE - sizeof(MoxPage::PageHeader));
    header()->isLeaf = kind == Leaf ? 1 : 0;
    header()->spaceLeft = capacity;
}

bool MoxIndexIntegerTreePage::isFull() const {
    return header()->spaceLeft == 0;
}

Uint16 MoxIndexIntegerTreePage::spaceLeft() const {
    return header()->spaceLeft;
}

Uint16 MoxIndexIntegerTreePage::numElements() const {
    Uint16 free = header()->spaceLeft;
    // A damaged count would let every scan run past the page.
    if (free > capacity) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, free);
    }
    return capacity - free;
}

bool MoxIndexIntegerTreePage::empty() const {
    return numElements() == 0;
}

Sint32 MoxIndexIntegerTreePage::valueAt(Uint16 position) const {
    Sint32 value = 0;
    memcpy(&value, entryAt(position), sizeof(value));
    return value;
}

Uint16 MoxIndexIntegerTreePage::findInsertPosition(Sint32 value) const {
    // Binary search: the result equals that of a scan from position 0.
    Uint16 low = 0;
    Uint16 high = numElements();
    while (low < high) {
        Uint16 middle = static_cast<Uint16>((low + high) / 2);
        if (valueAt(middle) < value) {
            low = static_cast<Uint16>(middle + 1);
        } else {
            high = middle;
        }
    }
    return low;
}

Uint16 MoxIndexIntegerTreePage::findKeyPosition(const MoxIndexKey& key) const {
    Uint16 position = findInsertPosition(key.intKey);
    return position < numElements() && valueAt(position) == key.intKey ? position : NO_POSITION;
}

MoxIndexKey MoxIndexIntegerTreePage::getValueAt(Uint16 position) const {
    if (position >= numElements()) {
        THROW_wARGS3(MOX_PARAMETER_FAIL, sId, pId, position);
    }
    return MoxIndexKey(valueAt(position));
}

MoxIndexKey MoxIndexIntegerTreePage::getLastValue() const {
    Uint16 count = numElements();
    return count == 0 ? MoxIndexKey(0) : getValueAt(static_cast<Uint16>(count - 1));
}

void MoxIndexIntegerTreePage::shiftRight(Uint16 position) {
    Uint16 count = numElements();
    if (count == capacity || position > count) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, position);
    }
    memmove(entryAt(static_cast<Uint16>(position + 1)), entryAt(position),
            static_cast<size_t>(count - position) * ENTRY_SIZE);
}

void MoxIndexIntegerTreePage::shiftLeft(Uint16 position) {
    Uint16 count = numElements();
    if (position >= count) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, position);
    }
    memmove(entryAt(position), entryAt(static_cast<Uint16>(position + 1)),
            static_cast<size_t>(count - position - 1) * ENTRY_SIZE);
    memset(entryAt(static_cast<Uint16>(count - 1)), 0, ENTRY_SIZE);
}

bool MoxIndexIntegerTreePage::deleteKeyAt(Uint16 position) {
    if (position >= numElements()) {
        return false;
    }
    shiftLeft(position);
    ++header()->spaceLeft;
    return true;
}

void MoxIndexIntegerTreePage::truncate(Uint16 count) {
    Uint16 current = numElements();
    if (count < current) {
        memset(entryAt(count), 0, static_cast<size_t>(current - count) * ENTRY_SIZE);
        header()->spaceLeft = static_cast<Uint16>(capacity - count);
    }
}
