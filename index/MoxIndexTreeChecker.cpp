#include "MoxIndexTreeChecker.h"

#include <cstring>
#include <memory>

#include "MoxIndexFreeSpaceInventory.h"
#include "MoxIndexTreeLeafPage.h"
#include "MoxIndexTreeNodePage.h"
#include "MoxIndexTreePage.h"
#include "MoxIndexVarcharTreeLeafPage.h"
#include "MoxIndexVarcharTreeNodePage.h"
#include "MoxIndexVarcharTreePage.h"
#include "../buffer/MoxBufferManager.h"
#include "../buffer/MoxScopedPage.h"
#include "../support/MoxException.h"

MoxIndexTreeChecker::MoxIndexTreeChecker(SegmentId segment, MoxDataType dataType, std::string indexName)
    : segment(segment), dataType(dataType), indexName(std::move(indexName)) {}

void MoxIndexTreeChecker::fail(PageId id, const std::string& text) {
    throw Damage{id, text};
}

void MoxIndexTreeChecker::problem(PageId id, const std::string& text) {
    found.push_back({"index " + indexName + " page " + std::to_string(id), text});
}

MoxCheckProblems MoxIndexTreeChecker::check() {
    inventoryIds.clear();
    freeIds.clear();
    treeIds.clear();
    levelPages.clear();
    leafEntries.clear();
    leafDepth = noDepth;
    found.clear();
    try {
        MoxBufferManager::getInstance()->openSegment(segment);
        checkInventory();
        walk(MoxIndexTreePage::ROOT_PAGE_ID, MoxIndexTreePage::ROOT_PAGE_ID, nullptr, nullptr, 0);
        if (found.empty()) checkLinks();
        if (found.empty()) checkAccounting();
    } catch (const Damage& damage) {
        problem(damage.page, damage.text);
    } catch (const MoxException& exception) {
        found.push_back(
            {"index " + indexName, "cannot be checked (code " + std::to_string(exception.getErrorCode()) + ")"});
    }
    if (!found.empty()) leafEntries.clear();
    return found;
}

void MoxIndexTreeChecker::read(PageId id, MoxPage::PageType type, PageCopy& copy) const {
    try {
        MoxScopedPage page(segment, id, type, MoxScopedPage::GetExistingPage);
        memcpy(copy.data(), page->getPageData(), MOX_PAGE_SIZE);
    } catch (const MoxException& exception) {
        fail(id, "unreadable page (code " + std::to_string(exception.getErrorCode()) + ")");
    }
}

void MoxIndexTreeChecker::checkInventory() {
    typedef MoxIndexFreeSpaceInventory Fsi;
    bool emptyFromHere = false;
    for (PageId id = 0;;) {
        if (!inventoryIds.insert(id).second) fail(id, "inventory chain runs in a circle");
        PageCopy bytes;
        read(id, MoxPage::FreeSpaceInventoryPage, bytes);
        const Fsi::PageFormat* page = reinterpret_cast<const Fsi::PageFormat*>(bytes.data());
        if (id == 0) lastId = page->lastId;
        if (page->numElements > Fsi::maxElements) {
            fail(id, "inventory count " + std::to_string(page->numElements) + " exceeds " +
                         std::to_string(Fsi::maxElements));
        }
        if (emptyFromHere && page->numElements != 0) fail(id, "free ids behind an inventory page that is not full");
        if (page->numElements < Fsi::maxElements) emptyFromHere = true;
        for (Uint16 i = 0; i < page->numElements; ++i) {
            PageId free = page->pageIds[i];
            if (free == 0) continue;
            if (free > lastId) fail(id, "free id " + std::to_string(free) + " was never handed out");
            if (!freeIds.insert(free).second) fail(id, "free id " + std::to_string(free) + " listed twice");
        }
        if (page->nextId == 0) break;
        if (page->nextId > lastId) {
            fail(id, "next inventory page " + std::to_string(page->nextId) + " was never handed out");
        }
        id = page->nextId;
    }
}

void MoxIndexTreeChecker::checkCount(PageId id, const PageCopy& bytes, bool leaf) const {
    const auto* header = reinterpret_cast<const MoxIndexTreePage::Header*>(bytes.data());
    const MoxDataType pageType = header->keyType == MoxIndexTreePage::VARCHAR_MARK ? VARCHAR : INTEGER;
    if (header->keyType > MoxIndexTreePage::VARCHAR_MARK || pageType != dataType) {
        fail(id, "page of the other key type");
    }
    if (header->isLeaf > 1) fail(id, "leaf flag " + std::to_string(header->isLeaf));
    if (dataType == VARCHAR) {
        checkVarcharArea(id, bytes, leaf);
        return;
    }
    const Uint16 capacity = leaf ? MoxIndexTreeLeafPage::maxElements : MoxIndexTreeNodePage::maxElements;
    if (header->spaceLeft > capacity) {
        fail(id, "spaceLeft " + std::to_string(header->spaceLeft) + " exceeds " + std::to_string(capacity));
    }
    const Uint16 count = static_cast<Uint16>(capacity - header->spaceLeft);
    // Slots past the count are cleared when entries leave: a count that is
    // too small shows as a slot in use behind it.
    const size_t entriesAt =
        leaf ? offsetof(MoxIndexTreeLeafPage::pageFormat, keys) : offsetof(MoxIndexTreeNodePage::pageFormat, keys);
    expectZero(id, bytes, entriesAt + count * MoxIndexIntegerTreePage::ENTRY_SIZE,
               entriesAt + capacity * MoxIndexIntegerTreePage::ENTRY_SIZE);
}

void MoxIndexTreeChecker::checkVarcharArea(PageId id, const PageCopy& bytes, bool leaf) const {
    typedef MoxIndexVarcharTreePage Varchar;
    const auto* header = reinterpret_cast<const MoxIndexTreePage::Header*>(bytes.data());
    const size_t area = leaf ? offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, data)
                             : offsetof(MoxIndexVarcharTreeNodePage::pageFormat, data);
    const size_t countAt = leaf ? offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, numElements)
                                : offsetof(MoxIndexVarcharTreeNodePage::pageFormat, numElements);
    if (leaf) expectZero(id, bytes, offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, keys), area);
    if (header->spaceLeft > MOX_PAGE_SIZE - area) {
        fail(id, "spaceLeft " + std::to_string(header->spaceLeft) + " exceeds " + std::to_string(MOX_PAGE_SIZE - area));
    }
    const size_t used = MOX_PAGE_SIZE - area - header->spaceLeft;
    size_t entries = 0;
    // Each entry is its fixed part, its characters and a NUL; they fill
    // exactly the bytes in use, and the rest of the area is zero.
    for (size_t offset = area; offset < area + used; ++entries) {
        const size_t end = offset + Varchar::eLen + bytes[offset] + 1;
        if (offset + Varchar::eLen > area + used || end > area + used) {
            fail(id, "an entry runs past the bytes in use");
        }
        if (bytes[end - 1] != 0 || memchr(bytes.data() + offset + Varchar::eLen, 0, bytes[offset]) != nullptr) {
            fail(id, "a key's length disagrees with its characters");
        }
        offset = end;
    }
    Uint16 count = 0;
    memcpy(&count, bytes.data() + countAt, sizeof(count));
    if (count != entries) {
        fail(id, "numElements " + std::to_string(count) + " but " + std::to_string(entries) + " entries");
    }
    expectZero(id, bytes, area + used, MOX_PAGE_SIZE);
}

void MoxIndexTreeChecker::expectZero(PageId id, const PageCopy& bytes, size_t from, size_t to) const {
    for (size_t byte = from; byte < to; ++byte) {
        if (bytes[byte] != 0) fail(id, "an entry lies behind the count that spaceLeft gives");
    }
}

void MoxIndexTreeChecker::walk(PageId from, PageId id, const MoxIndexKey* low, const MoxIndexKey* high, size_t depth) {
    const std::string link = "link to page " + std::to_string(id);
    if (id == 0 || id > lastId) fail(from, link + ", which was never handed out");
    if (inventoryIds.count(id) != 0 || freeIds.count(id) != 0) fail(from, link + ", an inventory or free page");
    if (!treeIds.insert(id).second) fail(from, link + ", which is reached twice");
    if (depth > maxDepth) fail(id, "tree deeper than " + std::to_string(maxDepth) + " levels");
    PageCopy bytes;
    read(id, MoxPage::BTreeIndexPage, bytes);
    const bool leaf = bytes[MoxIndexTreePage::LEAF_FLAG_OFFSET] == 1;
    checkCount(id, bytes, leaf);
    std::unique_ptr<MoxIndexTreePage> page;
    try {
        page = MoxIndexTreePage::get(segment, id, dataType);
    } catch (const MoxException& exception) {
        fail(id, "unreadable page (code " + std::to_string(exception.getErrorCode()) + ")");
    }
    if (levelPages.size() <= depth) levelPages.resize(depth + 1);
    levelPages[depth].push_back(id);

    const Uint16 count = page->numElements();
    std::vector<MoxIndexKey> keys;
    for (Uint16 i = 0; i < count; ++i) {
        keys.push_back(page->getValueAt(i));
        const MoxIndexKey& key = keys.back();
        const std::string position = "key at position " + std::to_string(i);
        if (i > 0 && key < keys[i - 1]) fail(id, position + " out of order");
        if (low != nullptr && key < *low) fail(id, position + " below the separator left of the page");
        if (high != nullptr && !(key <= *high)) fail(id, position + " above the separator right of the page");
    }
    if (leaf) {
        if (leafDepth == noDepth) leafDepth = depth;
        if (depth != leafDepth) fail(id, "leaf on another level than the first leaf");
        for (Uint16 i = 0; i < count; ++i) leafEntries.push_back({keys[i], page->getTupleAt(i), id});
        return;
    }
    if (leafDepth != noDepth && depth >= leafDepth) fail(id, "inner node on the leaf level");
    if (count == 0) fail(id, "inner node without separators");
    std::vector<PageId> children{page->getFirstChild()};
    for (Uint16 i = 0; i < count; ++i) children.push_back(page->getChildAt(i));
    page.reset();
    walkChildren(id, keys, children, low, high, depth + 1);
}

void MoxIndexTreeChecker::walkChildren(PageId id, const std::vector<MoxIndexKey>& keys,
                                       const std::vector<PageId>& children, const MoxIndexKey* low,
                                       const MoxIndexKey* high, size_t depth) {
    // A damaged subtree is reported and its siblings are still walked.
    for (size_t i = 0; i < children.size(); ++i) {
        try {
            walk(id, children[i], i == 0 ? low : &keys[i - 1], i < keys.size() ? &keys[i] : high, depth);
        } catch (const Damage& damage) {
            problem(damage.page, damage.text);
        }
    }
}

void MoxIndexTreeChecker::checkLinks() {
    for (const std::vector<PageId>& pages : levelPages) {
        for (size_t i = 0; i < pages.size(); ++i) {
            PageCopy bytes;
            read(pages[i], MoxPage::BTreeIndexPage, bytes);
            const auto* header = reinterpret_cast<const MoxIndexTreePage::Header*>(bytes.data());
            const PageId expectedPrev = i > 0 ? pages[i - 1] : 0;
            const PageId expectedNext = i + 1 < pages.size() ? pages[i + 1] : 0;
            if (header->prevId != expectedPrev) {
                problem(pages[i], "prevId " + std::to_string(header->prevId) + " but the page left of it is " +
                                      std::to_string(expectedPrev));
            }
            if (header->nextId != expectedNext) {
                problem(pages[i], "nextId " + std::to_string(header->nextId) + " but the page right of it is " +
                                      std::to_string(expectedNext));
            }
        }
    }
}

void MoxIndexTreeChecker::checkAccounting() {
    for (PageId id = 1; id <= lastId && id != 0; ++id) {
        const size_t roles = treeIds.count(id) + inventoryIds.count(id) + freeIds.count(id);
        if (roles == 0) problem(id, "handed out but neither tree, inventory nor free page");
        if (roles > 1) problem(id, "counted as " + std::to_string(roles) + " of tree, inventory and free page");
    }
}
