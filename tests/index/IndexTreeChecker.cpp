#include "IndexTreeChecker.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

namespace {

struct CheckFailure {
    std::string message;
};

}  // namespace

std::vector<IndexRow> sortedRows(const std::vector<IndexEntry>& entries) {
    std::vector<IndexRow> rows;
    for (const IndexEntry& entry : entries) rows.emplace_back(entry.key.intKey, entry.tupleId.page, entry.tupleId.slot);
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<VarcharRow> sortedVarcharRows(const std::vector<IndexEntry>& entries) {
    std::vector<VarcharRow> rows;
    for (const IndexEntry& entry : entries)
        rows.emplace_back(entry.key.varcharKey, entry.tupleId.page, entry.tupleId.slot);
    std::sort(rows.begin(), rows.end());
    return rows;
}

IndexTreeChecker::IndexTreeChecker(SegmentId segment, MoxDataType dataType) : segment(segment), dataType(dataType) {}

void IndexTreeChecker::fail(PageId page, const std::string& what) const {
    std::ostringstream text;
    text << "segment " << segment << ", page " << page << ": " << what;
    throw CheckFailure{text.str()};
}

::testing::AssertionResult IndexTreeChecker::check() {
    inventoryIds.clear();
    freeIds.clear();
    treeIds.clear();
    levelPages.clear();
    leafEntries.clear();
    leafDepth = noDepth;
    try {
        MoxBufferManager::getInstance()->openSegment(segment);
        checkInventory();
        walk(MoxIndexTreePage::ROOT_PAGE_ID, nullptr, nullptr, 0);
        checkLinks();
        checkAccounting();
    } catch (const CheckFailure& failure) {
        return ::testing::AssertionFailure() << failure.message;
    } catch (const MoxException& exception) {
        return ::testing::AssertionFailure()
               << "exception " << exception.getErrorCode() << " in " << exception.getFunction();
    }
    return ::testing::AssertionSuccess();
}

void IndexTreeChecker::checkInventory() {
    MoxIndexFreeSpaceInventory* fsi = MoxIndexFreeSpaceInventory::getInstance();
    MoxIndexFreeSpaceInventory::PageFormat page;
    bool emptyFromHere = false;
    for (PageId id = 0;;) {
        if (!inventoryIds.insert(id).second) fail(id, "inventory chain runs in a circle");
        fsi->getPageData(segment, id, page);
        if (id == 0) lastId = page.lastId;
        if (page.numElements > MoxIndexFreeSpaceInventory::maxElements) fail(id, "inventory count too large");
        if (emptyFromHere && page.numElements != 0) fail(id, "free ids behind a page that is not full");
        if (page.numElements < MoxIndexFreeSpaceInventory::maxElements) emptyFromHere = true;
        for (Uint16 i = 0; i < page.numElements; ++i) {
            PageId free = page.pageIds[i];
            if (free == 0) continue;
            if (free > lastId) fail(id, "free id " + std::to_string(free) + " was never handed out");
            if (!freeIds.insert(free).second) fail(id, "free id " + std::to_string(free) + " listed twice");
        }
        if (page.nextId == 0) break;
        if (page.nextId > lastId) fail(id, "chained inventory page was never handed out");
        id = page.nextId;
    }
}

void IndexTreeChecker::checkCount(PageId page, bool leaf) {
    MoxScopedPage fixed(segment, page, MoxPage::BTreeIndexPage, MoxScopedPage::GetExistingPage);
    const unsigned char* bytes = fixed->getPageData();
    if (MoxIndexTreePage::dataTypeOf(*fixed.getPage()) != dataType) fail(page, "page of the other key type");
    if (dataType == VARCHAR) {
        checkVarcharArea(page, bytes, leaf);
        return;
    }
    const auto* header = reinterpret_cast<const MoxIndexTreePage::Header*>(bytes);
    Uint16 capacity = leaf ? MoxIndexTreeLeafPage::maxElements : MoxIndexTreeNodePage::maxElements;
    if (header->spaceLeft > capacity) fail(page, "spaceLeft beyond the capacity");
    Uint16 count = static_cast<Uint16>(capacity - header->spaceLeft);
    // Slots past the count are cleared when entries leave: a count that
    // is too small shows as a slot in use behind it.
    size_t entriesAt =
        leaf ? offsetof(MoxIndexTreeLeafPage::pageFormat, keys) : offsetof(MoxIndexTreeNodePage::pageFormat, keys);
    expectZero(page, bytes, entriesAt + count * MoxIndexIntegerTreePage::ENTRY_SIZE,
               entriesAt + capacity * MoxIndexIntegerTreePage::ENTRY_SIZE);
}

void IndexTreeChecker::checkVarcharArea(PageId page, const unsigned char* bytes, bool leaf) {
    typedef MoxIndexVarcharTreePage Varchar;
    const auto* header = reinterpret_cast<const MoxIndexTreePage::Header*>(bytes);
    size_t area = leaf ? offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, data)
                       : offsetof(MoxIndexVarcharTreeNodePage::pageFormat, data);
    size_t countAt = leaf ? offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, numElements)
                          : offsetof(MoxIndexVarcharTreeNodePage::pageFormat, numElements);
    if (leaf) expectZero(page, bytes, offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, keys), area);
    if (header->spaceLeft > MOX_PAGE_SIZE - area) fail(page, "spaceLeft beyond the entry area");
    size_t used = MOX_PAGE_SIZE - area - header->spaceLeft;
    size_t entries = 0;
    size_t offset = area;
    // Each entry is its fixed part, its characters and a NUL; they fill
    // exactly the bytes in use, and the rest of the area is zero.
    while (offset < area + used) {
        if (offset + Varchar::eLen > area + used) fail(page, "an entry runs past the bytes in use");
        size_t length = bytes[offset];
        size_t end = offset + Varchar::eLen + length + 1;
        if (end > area + used) fail(page, "an entry runs past the bytes in use");
        if (bytes[end - 1] != 0 || strlen(reinterpret_cast<const char*>(bytes) + offset + Varchar::eLen) != length)
            fail(page, "a key's length disagrees with its characters");
        offset = end;
        ++entries;
    }
    Uint16 count = 0;
    memcpy(&count, bytes + countAt, sizeof(count));
    if (count != entries) fail(page, "numElements disagrees with the entries");
    expectZero(page, bytes, area + used, MOX_PAGE_SIZE);
}

void IndexTreeChecker::expectZero(PageId page, const unsigned char* bytes, size_t from, size_t to) {
    for (size_t byte = from; byte < to; ++byte) {
        if (bytes[byte] != 0) fail(page, "an entry lies behind the count that spaceLeft gives");
    }
}

void IndexTreeChecker::walk(PageId id, const MoxIndexKey* low, const MoxIndexKey* high, size_t depth) {
    if (id == 0 || id > lastId) fail(id, "tree link to a page never handed out");
    if (inventoryIds.count(id) != 0 || freeIds.count(id) != 0) fail(id, "tree page is an inventory or free page");
    if (!treeIds.insert(id).second) fail(id, "page reached twice");
    if (depth > 16) fail(id, "tree deeper than 16 levels");
    std::unique_ptr<MoxIndexTreePage> page = MoxIndexTreePage::get(segment, id, dataType);
    checkCount(id, page->isLeaf());
    if (levelPages.size() <= depth) levelPages.resize(depth + 1);
    levelPages[depth].push_back(id);

    Uint16 count = page->numElements();
    std::vector<MoxIndexKey> keys;
    for (Uint16 i = 0; i < count; ++i) {
        keys.push_back(page->getValueAt(i));
        const MoxIndexKey& key = keys.back();
        if (i > 0 && key < keys[i - 1]) fail(id, "keys out of order at position " + std::to_string(i));
        if (low != nullptr && key < *low) fail(id, "key below the separator left of the page");
        if (high != nullptr && !(key <= *high)) fail(id, "key above the separator right of the page");
    }
    if (page->isLeaf()) {
        if (leafDepth == noDepth) leafDepth = depth;
        if (depth != leafDepth) fail(id, "leaf on another level than the first leaf");
        for (Uint16 i = 0; i < count; ++i) leafEntries.push_back({keys[i], page->getTupleAt(i)});
        return;
    }
    if (leafDepth != noDepth && depth >= leafDepth) fail(id, "inner node on the leaf level");
    if (count == 0) fail(id, "inner node without separators");
    PageId firstChild = page->getFirstChild();
    std::vector<PageId> children;
    for (Uint16 i = 0; i < count; ++i) children.push_back(page->getChildAt(i));
    page.reset();
    walk(firstChild, low, &keys[0], depth + 1);
    for (Uint16 i = 0; i < count; ++i) {
        walk(children[i], &keys[i], i + 1 < count ? &keys[i + 1] : high, depth + 1);
    }
}

void IndexTreeChecker::checkLinks() {
    for (size_t level = 0; level < levelPages.size(); ++level) {
        const std::vector<PageId>& pages = levelPages[level];
        for (size_t i = 0; i < pages.size(); ++i) {
            std::unique_ptr<MoxIndexTreePage> page = MoxIndexTreePage::get(segment, pages[i], dataType);
            PageId expectedPrev = i > 0 ? pages[i - 1] : 0;
            PageId expectedNext = i + 1 < pages.size() ? pages[i + 1] : 0;
            if (page->prevId() != expectedPrev) fail(pages[i], "prevId is not the page left of it");
            if (page->nextId() != expectedNext) fail(pages[i], "nextId is not the page right of it");
        }
    }
}

void IndexTreeChecker::checkAccounting() {
    for (PageId id = 1; id <= lastId && id != 0; ++id) {
        int roles = static_cast<int>(treeIds.count(id) + inventoryIds.count(id) + freeIds.count(id));
        if (roles != 1) fail(id, "handed out page is " + std::to_string(roles) + " of tree, inventory and free");
    }
}
