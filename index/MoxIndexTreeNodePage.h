#ifndef MOX_INDEX_TREE_NODE_PAGE_H
#define MOX_INDEX_TREE_NODE_PAGE_H

#include "MoxIndexIntegerKey.h"
#include "MoxIndexIntegerTreePage.h"

// An inner node page of an INTEGER index: firstChild and up to 508
// separators (value, nextChild) in non-decreasing order of value. Keys up to
// the value of entry 0 lie below firstChild; keys above the value of entry i
// and up to that of entry i+1 below its child (the last child takes the rest).
// A key equal to a separator lies to its left, except for runs of equal
// keys, which may continue into the subtrees to the right.
class MoxIndexTreeNodePage : public MoxIndexIntegerTreePage {
  public:
    static constexpr Uint16 maxElements = 508;

    struct MOX_PACKED pageFormat {
        MoxPage::PageHeader header;            // 0-15
        Uint8 isLeaf;                          // 16: 0
        Uint8 padding;                         // 17
        Uint16 spaceLeft;                      // 18-19: 508 minus the number of entries
        PageId prevId;                         // 20-21
        PageId nextId;                         // 22-23
        PageId firstChild;                     // 24-25
        Uint16 padding2;                       // 26-27
        MoxIndexIntegerKey keys[maxElements];  // 28-4091
        Uint8 unused[4];                       // 4092-4095: too few for another entry
    };

    // Takes over the fix of frame; newPage formats it as an empty node.
    MoxIndexTreeNodePage(MoxPage* frame, bool newPage);

    bool isLeaf() const override { return false; }
    bool insert(PageId smaller, const MoxIndexKey& key, PageId bigger) override;
    bool insert(const MoxIndexKey& key, TupleId tupleId) override;
    Uint32 deleteKey(const MoxIndexKey& key, const TupleId* tupleId) override;
    const unsigned char* findKey(const MoxIndexKey& key) const override;
    bool findTuple(const MoxIndexKey& key, TupleId& tupleId) const override;
    TupleId getTupleAt(Uint16 position) const override;
    // Keeps the lower half; the middle separator goes up as separator and
    // its child becomes the new node's firstChild.
    std::unique_ptr<MoxIndexTreePage> split(MoxIndexKey& separator) override;
    void dump(bool full) const override;
    void dump2(bool full) const override;
    void setFirstChild(PageId child) override;
    PageId getFirstChild() const override;
    PageId getChildAt(Uint16 position) const override;

  private:
    pageFormat* pageData() const { return reinterpret_cast<pageFormat*>(bytes()); }
};

static_assert(sizeof(MoxIndexTreeNodePage::pageFormat) == MOX_PAGE_SIZE);
static_assert(offsetof(MoxIndexTreeNodePage::pageFormat, isLeaf) == 16);
static_assert(offsetof(MoxIndexTreeNodePage::pageFormat, spaceLeft) == 18);
static_assert(offsetof(MoxIndexTreeNodePage::pageFormat, prevId) == 20);
static_assert(offsetof(MoxIndexTreeNodePage::pageFormat, nextId) == 22);
static_assert(offsetof(MoxIndexTreeNodePage::pageFormat, firstChild) == 24);
static_assert(offsetof(MoxIndexTreeNodePage::pageFormat, keys) == 28);

#endif
