#include "MoxIndexTreeNodePage.h"

#include <iostream>
#include <string>

#include "MoxIndexFreeSpaceInventory.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexTreeNodePage::MoxIndexTreeNodePage(MoxPage* frame, bool newPage)
    : MoxIndexIntegerTreePage(frame, Node, offsetof(pageFormat, keys), maxElements, newPage) {}

bool MoxIndexTreeNodePage::insert(PageId smaller, const MoxIndexKey& key, PageId bigger) {
    MOX_TRACE_ENTRY();
    lock(MoxLockManager::ExclusiveLock);
    if (isFull()) {
        return false;
    }
    loggedChange([&] {
        // Beside the child that split, not merely by value: with equal
        // separators the value alone cannot tell which of them it belongs to.
        Uint16 position = positionAfter(smaller);
        if (position == NO_POSITION) {
            position = findInsertPosition(key.intKey);
        }
        shiftRight(position);
        MoxIndexIntegerKey& entry = pageData()->keys[position];
        entry.value = key.intKey;
        entry.nextChild = bigger;
        if (position == 0) {
            pageData()->firstChild = smaller;
        }
        --header()->spaceLeft;
    });
    return true;
}

bool MoxIndexTreeNodePage::insert(const MoxIndexKey&, TupleId) {
    return false;
}

Uint32 MoxIndexTreeNodePage::deleteKey(const MoxIndexKey& key, const TupleId*) {
    MOX_TRACE_ENTRY();
    return deleteSeparators(key);
}

const unsigned char* MoxIndexTreeNodePage::findKey(const MoxIndexKey& key) const {
    Uint16 position = findKeyPosition(key);
    return position == NO_POSITION ? nullptr : entryAt(position);
}

bool MoxIndexTreeNodePage::findTuple(const MoxIndexKey&, TupleId&) const {
    return false;
}

TupleId MoxIndexTreeNodePage::getTupleAt(Uint16) const {
    return TupleId();
}

std::unique_ptr<MoxIndexTreePage> MoxIndexTreeNodePage::split(MoxIndexKey& separator) {
    MOX_TRACE_ENTRY();
    Uint16 count = numElements();
    if (count < 3) {
        THROW_wARGS3(MOX_INTERNAL_FAIL, sId, pId, count);
    }
    Uint16 half = static_cast<Uint16>(count / 2);
    std::unique_ptr<MoxIndexTreePage> upper = MoxIndexFreeSpaceInventory::getInstance()->getFreeNodePage(sId, dataType);
    // The middle separator moves up, so that the new node's firstChild
    // holds exactly the keys between it and the node's first separator.
    separator = getValueAt(half);
    for (Uint16 position = static_cast<Uint16>(half + 1); position < count; ++position) {
        const MoxIndexIntegerKey& entry = pageData()->keys[position];
        if (!upper->insert(getChildAt(static_cast<Uint16>(position - 1)), MoxIndexKey(entry.value), entry.nextChild)) {
            THROW_wARGS3(MOX_INTERNAL_FAIL, sId, upper->pageId(), position);
        }
    }
    loggedChange([&] { truncate(half); });
    return upper;
}

void MoxIndexTreeNodePage::dump(bool full) const {
    printNodeHeading();
    if (full) {
        for (Uint16 position = 0; position < numElements(); ++position) {
            std::cout << '[' << position << "] -> " << valueAt(position) << " (child: " << getChildAt(position)
                      << ")\n";
        }
    }
}

void MoxIndexTreeNodePage::dump2(bool full) const {
    printShortHeading();
    if (full) {
        std::cout << ": " << getFirstChild();
        for (Uint16 position = 0; position < numElements(); ++position) {
            std::cout << " |" << valueAt(position) << "| " << getChildAt(position);
        }
    }
    std::cout << '\n';
}

void MoxIndexTreeNodePage::setFirstChild(PageId child) {
    MOX_TRACE_ENTRY();
    if (pageData()->firstChild != child) {
        loggedChange([&] { pageData()->firstChild = child; });
    }
}

PageId MoxIndexTreeNodePage::getFirstChild() const {
    return pageData()->firstChild;
}

PageId MoxIndexTreeNodePage::getChildAt(Uint16 position) const {
    return position < numElements() ? pageData()->keys[position].nextChild : NO_PAGE;
}
