#include "MoxIndexVarcharTreePage.h"

#include <cstring>

#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexVarcharTreePage::MoxIndexVarcharTreePage(MoxPage* frame, Kind kind, Uint16 countOffset, Uint16 dataOffset,
                                                 Uint16 capacity, bool newPage)
    : MoxIndexTreePage(frame, VARCHAR),
      kind(kind),
      countOffset(countOffset),
      dataOffset(dataOffset),
      capacity(capacity) {
    if (newPage) {
        formatEmpty();
    }
}

void MoxIndexVarcharTreePage::formatEmpty() {
    memset(bytes() + sizeof(MoxPage::PageHeader), 0, MOX_PAGE_SIZE - sizeof(MoxPage::PageHeader));
    header()->isLeaf = kind == Leaf ? 1 : 0;
    header()->keyType = VARCHAR_MARK;
    header()->spaceLeft = capacity;
    forgetWalk();
}

Uint16 MoxIndexVarcharTreePage::count() const {
    Uint16 entries = 0;
    memcpy(&entries, bytes() + countOffset, sizeof(entries));
    return entries;
}

void MoxIndexVarcharTreePage::setCount(Uint16 entries) {
    memcpy(bytes() + countOffset, &entries, sizeof(entries));
}

bool MoxIndexVarcharTreePage::isFull() const {
    // A node must take any separator that a split below hands up.
    return header()->spaceLeft < (kind == Leaf ? entrySize(0) : MAX_ENTRY_SIZE);
}

Uint16 MoxIndexVarcharTreePage::spaceLeft() const {
    Uint16 free = header()->spaceLeft;
    return free > eLen ? static_cast<Uint16>(free - eLen) : 0;
}

Uint16 MoxIndexVarcharTreePage::bytesInUse() const {
    Uint16 free = header()->spaceLeft;
    if (free > capacity) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, free);
    }
    return static_cast<Uint16>(capacity - free);
}

Uint16 MoxIndexVarcharTreePage::numElements() const {
    Uint16 used = bytesInUse();
    Uint16 entries = count();
    if (entries * entrySize(0) > used || (entries == 0 && used != 0)) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, entries);
    }
    return entries;
}

bool MoxIndexVarcharTreePage::empty() const {
    return numElements() == 0;
}

Uint8 MoxIndexVarcharTreePage::keyLength(const MoxIndexKey& key) const {
    if (key.dataType != VARCHAR || key.varcharKey == nullptr) {
        THROW_wARGS3(MOX_PARAMETER_FAIL, sId, pId, key.dataType);
    }
    size_t length = strlen(key.varcharKey);
    if (length > MOX_INDEX_VARCHAR_LENGTH) {
        THROW_wARGS3(MOX_PARAMETER_FAIL, sId, pId, length);
    }
    return static_cast<Uint8>(length);
}

const MoxIndexVarcharTreePage::varcharEntry& MoxIndexVarcharTreePage::entryAtOffset(Uint16 offset, Uint16 used) const {
    if (offset + eLen > used) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, offset);
    }
    const varcharEntry& entry = *reinterpret_cast<const varcharEntry*>(area() + offset);
    Uint32 end = offset + entrySize(entry.length);
    // The NUL keeps every comparison inside the entry.
    if (end > used || area()[end - 1] != 0) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, offset);
    }
    return entry;
}

Uint16 MoxIndexVarcharTreePage::offsetOf(Uint16 position) const {
    Uint16 entries = numElements();
    if (position > entries) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, position);
    }
    Uint16 used = bytesInUse();
    const MoxLsn& lsn = header()->page.lsn;
    Uint16 at = 0;
    Uint16 offset = 0;
    if (walkFrame == page && walkLsn == lsn && walkUsed == used && walkCount == entries && walkPosition <= position) {
        at = walkPosition;
        offset = walkOffset;
    }
    for (; at < position; ++at) {
        offset = static_cast<Uint16>(offset + entrySize(entryAtOffset(offset, used).length));
    }
    if (position == entries && offset != used) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, offset);
    }
    walkFrame = page;
    walkLsn = lsn;
    walkUsed = used;
    walkCount = entries;
    walkPosition = position;
    walkOffset = offset;
    return offset;
}

const MoxIndexVarcharTreePage::varcharEntry& MoxIndexVarcharTreePage::entryAt(Uint16 position) const {
    if (position >= numElements()) {
        THROW_wARGS3(MOX_PARAMETER_FAIL, sId, pId, position);
    }
    return entryAtOffset(offsetOf(position), bytesInUse());
}

const char* MoxIndexVarcharTreePage::keyAt(Uint16 position) const {
    return reinterpret_cast<const char*>(&entryAt(position)) + eLen;
}

Uint16 MoxIndexVarcharTreePage::lowerBound(const MoxIndexKey& key) const {
    keyLength(key);
    Uint16 entries = numElements();
    Uint16 used = bytesInUse();
    Uint16 offset = 0;
    for (Uint16 position = 0; position < entries; ++position) {
        const varcharEntry& entry = entryAtOffset(offset, used);
        if (strcmp(reinterpret_cast<const char*>(&entry) + eLen, key.varcharKey) >= 0) {
            return position;
        }
        offset = static_cast<Uint16>(offset + entrySize(entry.length));
    }
    return entries;
}

Uint16 MoxIndexVarcharTreePage::findKeyPosition(const MoxIndexKey& key) const {
    Uint16 position = lowerBound(key);
    return position < numElements() && strcmp(keyAt(position), key.varcharKey) == 0 ? position : NO_POSITION;
}

MoxIndexKey MoxIndexVarcharTreePage::getValueAt(Uint16 position) const {
    return MoxIndexKey(keyAt(position));
}

MoxIndexKey MoxIndexVarcharTreePage::getLastValue() const {
    Uint16 entries = numElements();
    return entries == 0 ? MoxIndexKey("") : getValueAt(static_cast<Uint16>(entries - 1));
}

void MoxIndexVarcharTreePage::insertEntry(Uint16 position, const char* key, Uint8 length, PageId link, SlotId slot) {
    Uint16 offset = offsetOf(position);
    Uint16 used = bytesInUse();
    Uint16 size = entrySize(length);
    if (!fits(length)) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, size);
    }
    memmove(area() + offset + size, area() + offset, static_cast<size_t>(used - offset));
    varcharEntry entry = {length, 0, link, slot, 0};
    memcpy(area() + offset, &entry, eLen);
    memcpy(area() + offset + eLen, key, length);
    area()[offset + size - 1] = 0;
    header()->spaceLeft = static_cast<Uint16>(header()->spaceLeft - size);
    setCount(static_cast<Uint16>(count() + 1));
    forgetWalk();
}

bool MoxIndexVarcharTreePage::deleteKeyAt(Uint16 position) {
    if (position >= numElements()) {
        return false;
    }
    Uint16 offset = offsetOf(position);
    Uint16 used = bytesInUse();
    Uint16 size = entrySize(entryAtOffset(offset, used).length);
    memmove(area() + offset, area() + offset + size, static_cast<size_t>(used - offset - size));
    memset(area() + used - size, 0, size);
    header()->spaceLeft = static_cast<Uint16>(header()->spaceLeft + size);
    setCount(static_cast<Uint16>(count() - 1));
    forgetWalk();
    return true;
}

void MoxIndexVarcharTreePage::appendEntries(const MoxIndexVarcharTreePage& from, Uint16 position) {
    // Walking the source to its end checks every entry that moves.
    Uint16 fromUsed = from.offsetOf(from.numElements());
    Uint16 fromOffset = from.offsetOf(position);
    Uint16 size = static_cast<Uint16>(fromUsed - fromOffset);
    Uint16 used = bytesInUse();
    if (size > header()->spaceLeft) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, size);
    }
    memcpy(area() + used, from.area() + fromOffset, size);
    header()->spaceLeft = static_cast<Uint16>(header()->spaceLeft - size);
    setCount(static_cast<Uint16>(count() + from.numElements() - position));
    forgetWalk();
}

void MoxIndexVarcharTreePage::truncate(Uint16 entries) {
    if (entries >= numElements()) {
        return;
    }
    Uint16 offset = offsetOf(entries);
    Uint16 used = bytesInUse();
    memset(area() + offset, 0, static_cast<size_t>(used - offset));
    header()->spaceLeft = static_cast<Uint16>(header()->spaceLeft + used - offset);
    setCount(entries);
    forgetWalk();
}

Uint16 MoxIndexVarcharTreePage::middlePosition() const {
    Uint16 entries = numElements();
    if (entries < 2) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, entries);
    }
    Uint16 used = bytesInUse();
    Uint16 position = 1;
    while (position + 1 < entries && used - offsetOf(position) > used / 2) {
        ++position;
    }
    return position;
}
