#ifndef MOX_INDEX_TREE_CHECKER_H
#define MOX_INDEX_TREE_CHECKER_H

#include <array>
#include <set>
#include <string>
#include <vector>

#include "MoxIndexKey.h"
#include "../buffer/MoxPage.h"
#include "../record/TupleId.h"
#include "../support/MoxCheckProblem.h"

// Walks a whole index and lists the broken rules that every index keeps:
// the keys of each subtree lie between the separators around it (equal keys
// may run on to the right), separators and leaf entries are in order, every
// leaf is on the same level, each level is chained both ways in tree order,
// every page's count agrees with its bytes and its kind's capacity, and
// every page id handed out is exactly one of a tree page, an inventory page
// or a free page.
//
// Read-only and without locks. Each page's bytes are checked on a copy
// before the page kinds interpret them, so damage never leads a read outside
// the page; a damaged page is reported and its subtree left out, and the
// links and the page accounting are judged only when the walk found nothing.
// Run beside writing transactions it may report what they are changing.
// Needs a started system; used by one thread.
class MoxIndexTreeChecker {
  public:
    // One entry of the index as the leaf chain holds it, with its leaf.
    struct Entry {
        MoxIndexKey key;
        TupleId tupleId;
        PageId leaf;
    };

    // indexName names the index in the problems' places.
    MoxIndexTreeChecker(SegmentId segment, MoxDataType dataType, std::string indexName);

    // The problems, empty for a sound index.
    MoxCheckProblems check();
    // After a check without problems: the entries from left to right, the
    // page ids of each level from the root down, and the free page ids.
    const std::vector<Entry>& entries() const { return leafEntries; }
    const std::vector<std::vector<PageId>>& levels() const { return levelPages; }
    const std::set<PageId>& freePages() const { return freeIds; }

  private:
    typedef std::array<unsigned char, MOX_PAGE_SIZE> PageCopy;
    // A broken rule that ends the walk of a page (and its subtree).
    struct Damage {
        PageId page;
        std::string text;
    };

    void checkInventory();
    void walk(PageId from, PageId id, const MoxIndexKey* low, const MoxIndexKey* high, size_t depth);
    void walkChildren(PageId id, const std::vector<MoxIndexKey>& keys, const std::vector<PageId>& children,
                      const MoxIndexKey* low, const MoxIndexKey* high, size_t depth);
    void read(PageId id, MoxPage::PageType type, PageCopy& copy) const;
    void checkCount(PageId id, const PageCopy& bytes, bool leaf) const;
    void checkVarcharArea(PageId id, const PageCopy& bytes, bool leaf) const;
    void expectZero(PageId id, const PageCopy& bytes, size_t from, size_t to) const;
    void checkLinks();
    void checkAccounting();
    [[noreturn]] static void fail(PageId id, const std::string& text);
    void problem(PageId id, const std::string& text);

    static constexpr size_t noDepth = ~size_t(0);
    static constexpr size_t maxDepth = 16;

    SegmentId segment;
    MoxDataType dataType;
    std::string indexName;
    PageId lastId = 0;
    std::set<PageId> inventoryIds;
    std::set<PageId> freeIds;
    std::set<PageId> treeIds;
    std::vector<std::vector<PageId>> levelPages;
    std::vector<Entry> leafEntries;
    size_t leafDepth = noDepth;
    MoxCheckProblems found;
};

#endif
