#ifndef MOX_INDEX_TREE_LEAF_PAGE_H
#define MOX_INDEX_TREE_LEAF_PAGE_H

#include "MoxIndexIntegerTreePage.h"
#include "MoxIndexIntegerTupleIdentifier.h"

// A leaf page of an INTEGER index: up to 509 (value, TupleId) entries in
// ascending order of value, equal values newest first, chained to the leaves
// beside it. Pages never merge: deletes may leave a leaf empty in its chain.
class MoxIndexTreeLeafPage : public MoxIndexIntegerTreePage {
  public:
    static constexpr Uint16 maxElements = 509;

    struct MOX_PACKED pageFormat {
        MoxPage::PageHeader header;                        // 0-15
        Uint8 isLeaf;                                      // 16: 1
        Uint8 padding;                                     // 17
        Uint16 spaceLeft;                                  // 18-19: 509 minus the number of entries
        PageId prevId;                                     // 20-21
        PageId nextId;                                     // 22-23
        MoxIndexIntegerTupleIdentifier keys[maxElements];  // 24-4095
    };

    // Takes over the fix of frame; newPage formats it as an empty leaf.
    MoxIndexTreeLeafPage(MoxPage* frame, bool newPage);

    bool isLeaf() const override { return true; }
    bool insert(PageId smaller, const MoxIndexKey& key, PageId bigger) override;
    bool insert(const MoxIndexKey& key, TupleId tupleId) override;
    Uint32 deleteKey(const MoxIndexKey& key, const TupleId* tupleId) override;
    const unsigned char* findKey(const MoxIndexKey& key) const override;
    bool findTuple(const MoxIndexKey& key, TupleId& tupleId) const override;
    TupleId getTupleAt(Uint16 position) const override;
    std::unique_ptr<MoxIndexTreePage> split(MoxIndexKey& separator) override;
    void dump(bool full) const override;
    void dump2(bool full) const override;
    void setFirstChild(PageId child) override;
    PageId getFirstChild() const override;
    PageId getChildAt(Uint16 position) const override;

  private:
    pageFormat* pageData() const { return reinterpret_cast<pageFormat*>(bytes()); }
};

static_assert(sizeof(MoxIndexTreeLeafPage::pageFormat) == MOX_PAGE_SIZE);
static_assert(offsetof(MoxIndexTreeLeafPage::pageFormat, isLeaf) == 16);
static_assert(offsetof(MoxIndexTreeLeafPage::pageFormat, spaceLeft) == 18);
static_assert(offsetof(MoxIndexTreeLeafPage::pageFormat, prevId) == 20);
static_assert(offsetof(MoxIndexTreeLeafPage::pageFormat, nextId) == 22);
static_assert(offsetof(MoxIndexTreeLeafPage::pageFormat, keys) == 24);

#endif
