#ifndef MOX_INDEX_VARCHAR_TREE_LEAF_PAGE_H
#define MOX_INDEX_VARCHAR_TREE_LEAF_PAGE_H

#include "MoxIndexIntegerTupleIdentifier.h"
#include "MoxIndexVarcharTreePage.h"

// A leaf page of a VARCHAR index: (key, TupleId) entries of length + 7 bytes
// each, keys of 0 to 255 characters, in strcmp order with equal keys newest
// first, chained to the leaves beside it. Full when fewer than 7 bytes are
// free. Pages never merge: deletes may leave a leaf empty in its chain.
class MoxIndexVarcharTreeLeafPage : public MoxIndexVarcharTreePage {
  public:
    // The size of the entry area in bytes, and the spaceLeft of a new leaf.
    static constexpr Uint16 maxElements = 4028;
    static constexpr int unusedSlots = 5;

    struct MOX_PACKED pageFormat {
        MoxPage::PageHeader header;                        // 0-15
        Uint8 isLeaf;                                      // 16: 1
        Uint8 isVarchar;                                   // 17: VARCHAR_MARK
        Uint16 spaceLeft;                                  // 18-19: free bytes of data
        PageId prevId;                                     // 20-21
        PageId nextId;                                     // 22-23
        Uint16 numElements;                                // 24-25
        Uint16 padding;                                    // 26-27
        MoxIndexIntegerTupleIdentifier keys[unusedSlots];  // 28-67: not used, zero
        unsigned char data[maxElements];                   // 68-4095: the entries
    };

    // Takes over the fix of frame; newPage formats it as an empty leaf.
    MoxIndexVarcharTreeLeafPage(MoxPage* frame, bool newPage);

    bool isLeaf() const override { return true; }
    bool insert(PageId smaller, const MoxIndexKey& key, PageId bigger) override;
    bool insert(const MoxIndexKey& key, TupleId tupleId) override;
    Uint32 deleteKey(const MoxIndexKey& key, const TupleId* tupleId) override;
    const unsigned char* findKey(const MoxIndexKey& key) const override;
    bool findTuple(const MoxIndexKey& key, TupleId& tupleId) const override;
    TupleId getTupleAt(Uint16 position) const override;
    // Divides the entries by bytes rather than by count, so that either
    // half has room for the longest entry afterwards. The moved entries
    // keep their order and are logged as one change of the new page.
    std::unique_ptr<MoxIndexTreePage> split(MoxIndexKey& separator) override;
    void dump(bool full) const override;
    void dump2(bool full) const override;
    void setFirstChild(PageId child) override;
    PageId getFirstChild() const override;
    PageId getChildAt(Uint16 position) const override;
};

static_assert(sizeof(MoxIndexVarcharTreeLeafPage::pageFormat) == MOX_PAGE_SIZE);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, isLeaf) == 16);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, isVarchar) == 17);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, spaceLeft) == 18);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, prevId) == 20);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, nextId) == 22);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, numElements) == 24);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, keys) == 28);
static_assert(offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, data) == 68);

#endif
