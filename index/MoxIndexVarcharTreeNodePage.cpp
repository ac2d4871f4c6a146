#include "MoxIndexVarcharTreeNodePage.h"

#include <algorithm>
#include <iostream>

#include "MoxIndexFreeSpaceInventory.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexVarcharTreeNodePage::MoxIndexVarcharTreeNodePage(MoxPage* frame, bool newPage)
    : MoxIndexVarcharTreePage(frame, Node, offsetof(pageFormat, numElements), offsetof(pageFormat, data), maxElements,
                              newPage) {}

bool MoxIndexVarcharTreeNodePage::insert(PageId smaller, const MoxIndexKey& key, PageId bigger) {
    MOX_TRACE_ENTRY();
    Uint8 length = keyLength(key);
    lock(MoxLockManager::ExclusiveLock);
    if (!fits(length)) {
        return false;
    }
    loggedChange([&] {
        // Beside the child that split, not merely by value: with equal
        // separators the value alone cannot tell which of them it belongs to.
        Uint16 position = positionAfter(smaller);
        if (position == NO_POSITION) {
            position = lowerBound(key);
        }
        insertEntry(position, key.varcharKey, length, bigger, 0);
        if (position == 0) {
            pageData()->firstChild = smaller;
        }
    });
    return true;
}

bool MoxIndexVarcharTreeNodePage::insert(const MoxIndexKey&, TupleId) {
    return false;
}

Uint32 MoxIndexVarcharTreeNodePage::deleteKey(const MoxIndexKey& key, const TupleId*) {
    MOX_TRACE_ENTRY();
    return deleteSeparators(key);
}

const unsigned char* MoxIndexVarcharTreeNodePage::findKey(const MoxIndexKey& key) const {
    Uint16 position = findKeyPosition(key);
    return position == NO_POSITION ? nullptr : reinterpret_cast<const unsigned char*>(&entryAt(position));
}

bool MoxIndexVarcharTreeNodePage::findTuple(const MoxIndexKey&, TupleId&) const {
    return false;
}

TupleId MoxIndexVarcharTreeNodePage::getTupleAt(Uint16) const {
    return TupleId();
}

std::unique_ptr<MoxIndexTreePage> MoxIndexVarcharTreeNodePage::split(MoxIndexKey& separator) {
    MOX_TRACE_ENTRY();
    Uint16 count = numElements();
    if (count < 3) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, count);
    }
    // Both parts keep at least one separator.
    Uint16 middle = std::min(middlePosition(), static_cast<Uint16>(count - 2));
    std::unique_ptr<MoxIndexTreePage> upper = MoxIndexFreeSpaceInventory::getInstance()->getFreeNodePage(sId, dataType);
    auto& upperNode = static_cast<MoxIndexVarcharTreeNodePage&>(*upper);
    // Copied before the truncation takes the string away.
    separator = getValueAt(middle);
    upperNode.loggedChange([&] {
        upperNode.pageData()->firstChild = getChildAt(middle);
        upperNode.appendEntries(*this, static_cast<Uint16>(middle + 1));
    });
    loggedChange([&] { truncate(middle); });
    return upper;
}

void MoxIndexVarcharTreeNodePage::dump(bool full) const {
    printNodeHeading();
    if (full) {
        for (Uint16 position = 0; position < numElements(); ++position) {
            std::cout << '[' << position << "] -> " << keyAt(position) << " (child: " << getChildAt(position) << ")\n";
        }
    }
}

void MoxIndexVarcharTreeNodePage::dump2(bool full) const {
    printShortHeading();
    if (full) {
        std::cout << ": " << getFirstChild();
        for (Uint16 position = 0; position < numElements(); ++position) {
            std::cout << " |\"" << keyAt(position) << "\"| " << getChildAt(position);
        }
    }
    std::cout << '\n';
}

void MoxIndexVarcharTreeNodePage::setFirstChild(PageId child) {
    MOX_TRACE_ENTRY();
    if (pageData()->firstChild != child) {
        loggedChange([&] { pageData()->firstChild = child; });
    }
}

PageId MoxIndexVarcharTreeNodePage::getFirstChild() const {
    return pageData()->firstChild;
}

PageId MoxIndexVarcharTreeNodePage::getChildAt(Uint16 position) const {
    return position < numElements() ? entryAt(position).page : NO_PAGE;
}
