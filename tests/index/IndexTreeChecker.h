#ifndef MOX_INDEX_TREE_CHECKER_H
#define MOX_INDEX_TREE_CHECKER_H

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "MoxBuffer.h"
#include "MoxIndexManager.h"
#include "MoxSupport.h"

// One entry of an index as the leaf chain holds it.
struct IndexEntry {
    MoxIndexKey key;
    TupleId tupleId;
};

// An integer entry as a sortable row: key, TupleId page and slot.
typedef std::tuple<Sint32, PageId, SlotId> IndexRow;
// The entries of an integer index as rows in ascending order.
std::vector<IndexRow> sortedRows(const std::vector<IndexEntry>& entries);
// The same for a varchar index.
typedef std::tuple<std::string, PageId, SlotId> VarcharRow;
std::vector<VarcharRow> sortedVarcharRows(const std::vector<IndexEntry>& entries);

// Walks a whole index and verifies the rules that every index keeps: the
// keys of each subtree lie between the separators around it (equal keys may
// run on to the right), separators and leaf entries are in order, every
// leaf is on the same level, each level is chained both ways in tree order,
// every page's count agrees with its bytes, and every page id handed out is
// exactly one of a tree page, an inventory page or a free page. For tests
// and tools, never for the engine's own operations.
class IndexTreeChecker {
  public:
    IndexTreeChecker(SegmentId segment, MoxDataType dataType);
    explicit IndexTreeChecker(const MoxIndexBTree& tree) : IndexTreeChecker(tree.getSegmentId(), tree.getDataType()) {}

    // The first broken rule, naming its page.
    ::testing::AssertionResult check();
    // After a passing check: the entries from left to right, the page ids
    // of each level from the root down, and the free page ids.
    const std::vector<IndexEntry>& entries() const { return leafEntries; }
    const std::vector<std::vector<PageId>>& levels() const { return levelPages; }
    const std::set<PageId>& freePages() const { return freeIds; }

  private:
    void checkInventory();
    void walk(PageId page, const MoxIndexKey* low, const MoxIndexKey* high, size_t depth);
    void checkCount(PageId page, bool leaf);
    void checkVarcharArea(PageId page, const unsigned char* bytes, bool leaf);
    void expectZero(PageId page, const unsigned char* bytes, size_t from, size_t to);
    void checkLinks();
    void checkAccounting();
    [[noreturn]] void fail(PageId page, const std::string& what) const;

    static constexpr size_t noDepth = ~size_t(0);

    SegmentId segment;
    MoxDataType dataType;
    PageId lastId = 0;
    std::set<PageId> inventoryIds;
    std::set<PageId> freeIds;
    std::set<PageId> treeIds;
    std::vector<std::vector<PageId>> levelPages;
    std::vector<IndexEntry> leafEntries;
    size_t leafDepth = noDepth;
};

#endif
