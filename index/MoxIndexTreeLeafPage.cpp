#include "MoxIndexTreeLeafPage.h"

#include <iostream>

#include "MoxIndexFreeSpaceInventory.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexTreeLeafPage::MoxIndexTreeLeafPage(MoxPage* frame, bool newPage)
    : MoxIndexIntegerTreePage(frame, Leaf, offsetof(pageFormat, keys), maxElements, newPage) {}

bool MoxIndexTreeLeafPage::insert(PageId, const MoxIndexKey&, PageId) {
    return false;
}

bool MoxIndexTreeLeafPage::insert(const MoxIndexKey& key, TupleId tupleId) {
    MOX_TRACE_ENTRY();
    // Fullness is read under the lock that keeps others from filling the page.
    lock(MoxLockManager::ExclusiveLock);
    if (isFull()) {
        return false;
    }
    loggedChange([&] {
        Uint16 position = findInsertPosition(key.intKey);
        shiftRight(position);
        pageData()->keys[position] = MoxIndexIntegerTupleIdentifier(key.intKey, tupleId);
        --header()->spaceLeft;
    });
    return true;
}

Uint32 MoxIndexTreeLeafPage::deleteKey(const MoxIndexKey& key, const TupleId* tupleId) {
    MOX_TRACE_ENTRY();
    Uint32 removed = 0;
    walkLeaves(true, [&](MoxIndexTreePage& leaf) {
        bool goOn = false;
        removed += static_cast<MoxIndexTreeLeafPage&>(leaf).deleteHere(key, tupleId, goOn);
        return goOn;
    });
    return removed;
}

Uint32 MoxIndexTreeLeafPage::deleteHere(const MoxIndexKey& key, const TupleId* tupleId, bool& goOn) {
    MOX_TRACE_ENTRY();
    lock(MoxLockManager::ExclusiveLock);
    Uint16 count = numElements();
    Uint16 position = findInsertPosition(key.intKey);
    // No entry here reaches the key: deletes may have emptied this part of
    // a run that continues in the next leaf.
    if (position == count) {
        goOn = true;
        return 0;
    }
    const MoxIndexIntegerTupleIdentifier* keys = pageData()->keys;
    if (tupleId != nullptr) {
        for (; position < count && keys[position].value == key.intKey; ++position) {
            if (keys[position].tupleId == *tupleId) {
                loggedChange([&] { deleteKeyAt(position); });
                return 1;
            }
        }
        goOn = position == count;
        return 0;
    }
    if (keys[position].value != key.intKey) {
        return 0;
    }
    Uint32 removed = 0;
    loggedChange([&] {
        while (position < numElements() && keys[position].value == key.intKey) {
            deleteKeyAt(position);
            ++removed;
        }
    });
    goOn = position == numElements();
    return removed;
}

const unsigned char* MoxIndexTreeLeafPage::findKey(const MoxIndexKey&) const {
    return nullptr;
}

bool MoxIndexTreeLeafPage::findTuple(const MoxIndexKey& key, TupleId& tupleId) const {
    Uint16 position = findKeyPosition(key);
    if (position == NO_POSITION) {
        return false;
    }
    tupleId = getTupleAt(position);
    return true;
}

bool MoxIndexTreeLeafPage::findLeaf(const MoxIndexKey&, Path&) {
    return true;
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreeLeafPage::findFirstLeaf() {
    return edgeLeaf(true);
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreeLeafPage::findLastLeaf() {
    return edgeLeaf(false);
}

TupleId MoxIndexTreeLeafPage::getTupleAt(Uint16 position) const {
    if (position >= numElements()) {
        return TupleId();
    }
    return pageData()->keys[position].tupleId;
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreeLeafPage::split(MoxIndexKey& separator) {
    MOX_TRACE_ENTRY();
    Uint16 count = numElements();
    if (count < 2) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, count);
    }
    Uint16 half = static_cast<Uint16>(count / 2);
    std::unique_ptr<MoxIndexTreePage> upper = MoxIndexFreeSpaceInventory::getInstance()->getFreeLeafPage(sId, dataType);
    // Each moved entry is one logged insert into the new page.
    for (Uint16 position = half; position < count; ++position) {
        const MoxIndexIntegerTupleIdentifier& entry = pageData()->keys[position];
        if (!upper->insert(MoxIndexKey(entry.value), getTupleAt(position))) {
            THROW_wARGS3(MOX_INTERNAL_FAIL, sId, upper->pageId(), position);
        }
    }
    loggedChange([&] { truncate(half); });
    separator = getLastValue();
    return upper;
}

void MoxIndexTreeLeafPage::dump(bool full) const {
    std::cout << "********** LEAF (SID: " << sId << " PID: " << pId << " )**********\n"
              << "**********  PrevID: " << prevId() << " NextID: " << nextId() << " **********\n"
              << " Number of Elements: " << numElements() << '\n';
    if (full) {
        for (Uint16 position = 0; position < numElements(); ++position) {
            pageData()->keys[position].dump();
        }
    }
}

void MoxIndexTreeLeafPage::dump2(bool full) const {
    std::cout << "Leaf " << pId << " [prev " << prevId() << ", next " << nextId() << "]: " << numElements()
              << " entries";
    if (full) {
        std::cout << ':';
        for (Uint16 position = 0; position < numElements(); ++position) {
            const MoxIndexIntegerTupleIdentifier& entry = pageData()->keys[position];
            std::cout << ' ' << entry.value << " (" << entry.tupleId.page << ','
                      << static_cast<unsigned>(entry.tupleId.slot) << ')';
        }
    }
    std::cout << '\n';
}

void MoxIndexTreeLeafPage::setFirstChild(PageId) {}

PageId MoxIndexTreeLeafPage::getFirstChild() const {
    return NO_PAGE;
}

PageId MoxIndexTreeLeafPage::getLastChild() const {
    return NO_PAGE;
}

PageId MoxIndexTreeLeafPage::getChildAt(Uint16) const {
    return NO_PAGE;
}

PageId MoxIndexTreeLeafPage::childFor(const MoxIndexKey&) const {
    return NO_PAGE;
}
