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
    return deleteFromLeaves(key, tupleId);
}

const unsigned char* MoxIndexTreeLeafPage::findKey(const MoxIndexKey&) const {
    return nullptr;
}

bool MoxIndexTreeLeafPage::findTuple(const MoxIndexKey& key, TupleId& tupleId) const {
    return findFirstTuple(key, tupleId);
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
    printLeafHeading();
    if (full) {
        for (Uint16 position = 0; position < numElements(); ++position) {
            pageData()->keys[position].dump();
        }
    }
}

void MoxIndexTreeLeafPage::dump2(bool full) const {
    printShortHeading();
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

PageId MoxIndexTreeLeafPage::getChildAt(Uint16) const {
    return NO_PAGE;
}
