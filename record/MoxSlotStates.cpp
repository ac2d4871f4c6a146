#include "MoxSlotStates.h"

#include <algorithm>
#include <cstring>

#include "../log/MoxRecordLogEntry.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = RecordManager;

MoxSlotStates::MoxSlotStates(const MoxRecordLogEntry& entry) {
    MOX_TRACE_ENTRY();
    const TupleId* primary = entry.getPrimTupelID();
    const TupleId* oldSecondary = entry.getOldSecTID();
    const TupleId* newSecondary = entry.getNewSecTID();
    const int type = entry.getTransactionType();
    const bool removes = type == MoxAbstractLogEntry::DELETE || type == MoxAbstractLogEntry::COMPENSATE_DELETE;
    const bool writes = type == MoxAbstractLogEntry::INSERT || type == MoxAbstractLogEntry::COMPENSATE_INSERT ||
                        type == MoxAbstractLogEntry::UPDATE || type == MoxAbstractLogEntry::COMPENSATE_UPDATE;
    if (primary == nullptr || (!removes && !writes)) {
        return;
    }
    State state;
    state.slot = *primary;
    if (removes) {
        add(state, true);
        if (oldSecondary != nullptr) {
            state.slot = *oldSecondary;
            add(state, true);
        }
        return;
    }
    const unsigned char* image = reinterpret_cast<const unsigned char*>(entry.getAfterImage());
    const Uint16 length = static_cast<Uint16>(entry.getAftImgLength());
    const bool staysOnSecondary = oldSecondary != nullptr && newSecondary != nullptr && *oldSecondary == *newSecondary;
    if (newSecondary != nullptr) {
        state.kind = State::Forward;
        state.target = *newSecondary;
    } else {
        state.kind = State::Record;
        state.type = PrimaryRecord;
        state.bytes = image;
        state.length = length;
    }
    add(state, !staysOnSecondary);
    if (oldSecondary != nullptr && !staysOnSecondary) {
        State left;
        left.slot = *oldSecondary;
        add(left, true);
    }
    if (newSecondary != nullptr) {
        State moved;
        moved.slot = *newSecondary;
        moved.kind = State::Record;
        moved.type = SecondaryRecord;
        moved.bytes = image;
        moved.length = length;
        add(moved, true);
    }
}

void MoxSlotStates::add(const State& state, bool changesPage) {
    slotStates.push_back(state);
    if (changesPage && std::find(pages.begin(), pages.end(), state.slot.page) == pages.end()) {
        pages.push_back(state.slot.page);
    }
}

std::vector<PageId> MoxSlotStates::namedPages() const {
    MOX_TRACE_ENTRY();
    std::vector<PageId> named;
    for (const State& state : slotStates) {
        if (std::find(named.begin(), named.end(), state.slot.page) == named.end()) {
            named.push_back(state.slot.page);
        }
    }
    return named;
}

bool MoxSlotStates::holds(const MoxSlottedPage& page, const State& state) {
    if (state.slot.slot >= page.numberOfSlots()) {
        return state.kind == State::Free;
    }
    const Slot& entry = page.slot(state.slot.slot);
    switch (state.kind) {
        case State::Free:
            return MoxSlottedPage::isFree(entry);
        case State::Forward:
            return entry.recordType == PlaceHolderTid && entry.offset == state.target.page &&
                   (entry.recordLength & 0xFF) == state.target.slot;
        case State::Record:
            return !MoxSlottedPage::isFree(entry) && entry.recordType == state.type &&
                   entry.recordLength == state.length &&
                   memcmp(page.recordBytes(state.slot.slot), state.bytes, state.length) == 0;
    }
    return false;
}

bool MoxSlotStates::applyTo(MoxSlottedPage& page, bool& compacted) const {
    MOX_TRACE_ENTRY();
    compacted = false;
    bool changed = false;
    std::vector<const State*> toPlace;
    // First everything that goes away, so that the records placed after
    // find its room.
    for (const State& state : slotStates) {
        if (state.slot.page != page.pageId() || holds(page, state)) {
            continue;
        }
        changed = true;
        const SlotId id = state.slot.slot;
        if (state.kind == State::Free) {
            page.freeSlot(id);
            continue;
        }
        if (id < page.numberOfSlots()) {
            Slot& entry = page.slot(id);
            // The same length where a record is: its bytes are rewritten in place.
            if (state.kind == State::Record && entry.recordType != PlaceHolderTid &&
                entry.recordLength == state.length) {
                memcpy(const_cast<unsigned char*>(page.recordBytes(id)), state.bytes, state.length);
                entry.recordType = state.type;
                continue;
            }
            page.releaseBytes(id);
        }
        toPlace.push_back(&state);
    }
    for (const State* state : toPlace) {
        place(page, *state, compacted);
    }
    return changed;
}

void MoxSlotStates::place(MoxSlottedPage& page, const State& state, bool& compacted) {
    MOX_TRACE_ENTRY();
    const SlotId id = state.slot.slot;
    growDirectory(page, static_cast<Uint16>(id + 1), compacted);
    if (state.kind == State::Forward) {
        page.setForwarding(id, state.target);
        return;
    }
    Uint16 blockOffset = 0;
    Uint16 blockSize = 0;
    page.largestFreeBlock(blockOffset, blockSize);
    if (blockSize < state.length) {
        Uint16 freeSpace = 0;
        page.reorganize(freeSpace, blockOffset);
        compacted = true;
    }
    page.writeRecord(id, state.bytes, state.length, state.type, page.placeRecord(state.length));
}

void MoxSlotStates::growDirectory(MoxSlottedPage& page, Uint16 slots, bool& compacted) {
    MOX_TRACE_ENTRY();
    if (slots <= page.numberOfSlots()) {
        return;
    }
    // Records stay clear of the directory and of the one more entry that
    // every free-space count reserves.
    if (MoxSlottedPage::reservedDirectoryEnd(slots) > page.recordsStart()) {
        Uint16 freeSpace = 0;
        Uint16 freeSpaceOffset = 0;
        page.reorganize(freeSpace, freeSpaceOffset);
        compacted = true;
    }
    page.growDirectory(slots);
}

bool MoxSlotStates::fits(const MoxSlottedPage& page, bool& compacts) const {
    MOX_TRACE_ENTRY();
    unsigned char copy[MOX_PAGE_SIZE];
    memcpy(copy, page.pageBytes(), MOX_PAGE_SIZE);
    MoxSlottedPage trial(copy, page.segmentId());
    try {
        applyTo(trial, compacts);
        // The page must come out as sound as it went in: no record in the
        // directory's reserved entry, where it would count as free.
        Uint16 blockOffset = 0;
        Uint16 blockSize = 0;
        trial.largestFreeBlock(blockOffset, blockSize);
        return trial.freeSpace() >= blockSize;
    } catch (const MoxException&) {
        return false;
    }
}
