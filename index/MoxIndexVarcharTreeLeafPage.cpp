#include "MoxIndexVarcharTreeLeafPage.h"

#include <iostream>

#include "MoxIndexFreeSpaceInventory.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexVarcharTreeLeafPage::MoxIndexVarcharTreeLeafPage(MoxPage* frame, bool newPage)
    : MoxIndexVarcharTreePage(frame, Leaf, offsetof(pageFormat, numElements), offsetof(pageFormat, data), maxElements,
                              newPage) {}

bool MoxIndexVarcharTreeLeafPage::insert(PageId, const MoxIndexKey&, PageId) {
    return false;
}

bool MoxIndexVarcharTreeLeafPage::insert(const MoxIndexKey& key, TupleId tupleId) {
    MOX_TRACE_ENTRY();
    Uint8 length = keyLength(key);
    // Free space is read under the lock that keeps others from filling the page.
    lock(MoxLockManager::ExclusiveLock);
    if (!fits(length)) {
        return false;
    }
    loggedChange([&] { insertEntry(lowerBound(key), key.varcharKey, length, tupleId.page, tupleId.slot); });
    return true;
}

Uint32 MoxIndexVarcharTreeLeafPage::deleteKey(const MoxIndexKey& key, const TupleId* tupleId) {
    MOX_TRACE_ENTRY();
    return deleteFromLeaves(key, tupleId);
}

const unsigned char* MoxIndexVarcharTreeLeafPage::findKey(const MoxIndexKey&) const {
    return nullptr;
}

bool MoxIndexVarcharTreeLeafPage::findTuple(const MoxIndexKey& key, TupleId& tupleId) const {
    return findFirstTuple(key, tupleId);
}

TupleId MoxIndexVarcharTreeLeafPage::getTupleAt(Uint16 position) const {
    if (position >= numElements()) {
        return TupleId();
    }
    const varcharEntry& entry = entryAt(position);
    return TupleId{entry.page, entry.slot};
}

std::unique_ptr<MoxIndexTreePage> MoxIndexVarcharTreeLeafPage::split(MoxIndexKey& separator) {
    MOX_TRACE_ENTRY();
    Uint16 middle = middlePosition();
    std::unique_ptr<MoxIndexTreePage> upper = MoxIndexFreeSpaceInventory::getInstance()->getFreeLeafPage(sId, dataType);
    auto& upperLeaf = static_cast<MoxIndexVarcharTreeLeafPage&>(*upper);
    upperLeaf.loggedChange([&] { upperLeaf.appendEntries(*this, middle); });
    loggedChange([&] { truncate(middle); });
    separator = getLastValue();
    return upper;
}

void MoxIndexVarcharTreeLeafPage::dump(bool full) const {
    printLeafHeading();
    if (full) {
        for (Uint16 position = 0; position < numElements(); ++position) {
            TupleId tupleId = getTupleAt(position);
            std::cout << "Value: " << keyAt(position) << ", TupleId: " << tupleId.page << ", "
                      << static_cast<unsigned>(tupleId.slot) << ")\n";
        }
    }
}

void MoxIndexVarcharTreeLeafPage::dump2(bool full) const {
    printShortHeading();
    if (full) {
        std::cout << ':';
        for (Uint16 position = 0; position < numElements(); ++position) {
            TupleId tupleId = getTupleAt(position);
            std::cout << " \"" << keyAt(position) << "\" (" << tupleId.page << ','
                      << static_cast<unsigned>(tupleId.slot) << ')';
        }
    }
    std::cout << '\n';
}

void MoxIndexVarcharTreeLeafPage::setFirstChild(PageId) {}

PageId MoxIndexVarcharTreeLeafPage::getFirstChild() const {
    return NO_PAGE;
}

PageId MoxIndexVarcharTreeLeafPage::getChildAt(Uint16) const {
    return NO_PAGE;
}
