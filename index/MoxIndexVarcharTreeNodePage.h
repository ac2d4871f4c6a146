#ifndef MOX_INDEX_VARCHAR_TREE_NODE_PAGE_H
#define MOX_INDEX_VARCHAR_TREE_NODE_PAGE_H

#include "MoxIndexVarcharTreePage.h"

// An inner node page of a VARCHAR index: firstChild and separators (the
// strings themselves, up to 255 characters, each with the child right of
// it) in non-decreasing strcmp order, as entries of length + 7 bytes. Keys
// up to separator 0 lie below firstChild; keys above separator i and up to
// separator i+1 below its child (the last child takes the rest). A key
// equal to a separator lies to its left, except for runs of equal keys,
// which may continue into the subtrees to the right. Full when the longest
// separator would not fit, so that a split below always finds room.
class MoxIndexVarcharTreeNodePage : public MoxIndexVarcharTreePage {
  public:
    // The size of the entry area in bytes, and the spaceLeft of a new node.
    static constexpr Uint16 maxElements = 4068;

    struct MOX_PACKED pageFormat {
        MoxPage::PageHeader header;       // 0-15
        Uint8 isLeaf;                     // 16: 0
        Uint8 isVarchar;                  // 17: VARCHAR_MARK
        Uint16 spaceLeft;                 // 18-19: free bytes of data
        PageId prevId;                    // 20-21
        PageId nextId;                    // 22-23
        PageId firstChild;                // 24-25
        Uint16 numElements;               // 26-27
        unsigned char data[maxElements];  // 28-4095: the separators
    };

    // Takes over the fix of frame; newPage formats it as an empty node.
    MoxIndexVarcharTreeNodePage(MoxPage* frame, bool newPage);

    bool isLeaf() const override { return false; }
    bool insert(PageId smaller, const MoxIndexKey& key, PageId bigger) override;
    bool insert(const MoxIndexKey& key, TupleId tupleId) override;
    Uint32 deleteKey(const MoxIndexKey& key, const TupleId* tupleId) override;
    const unsigned char* findKey(const MoxIndexKey& key) const override;
    bool findTuple(const MoxIndexKey& key, TupleId& tupleId) const override;
    TupleId getTupleAt(Uint16 position) const override;
    // Divides the separators by bytes: the lower part stays, the middle
    // separator goes up as separator and its child becomes the new node's
    // firstChild.
    std::unique_ptr<MoxIndexTreePage> split(MoxIndexKey& separator) override;
    void dump(bool full) const override;
    void dump2(bool full) const override;
    void setFirstChild(PageId child) override;
    PageId getFirstChild() const override;
    PageId getChildAt(Uint16 position) const override;

  private:
    pageFormat* pageData() const { return reinterpret_cast<pageFormat*>(bytes()); }
};

static_assert(sizeof(MoxIndexVarcharTreeNodePage::pageFormat) == MOX_PAGE_SIZE);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, isLeaf) == 16);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, isVarchar) == 17);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, spaceLeft) == 18);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, prevId) == 20);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, nextId) == 22);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, firstChild) == 24);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, numElements) == 26);
static_assert(offsetof(MoxIndexVarcharTreeNodePage::pageFormat, data) == 28);

#endif
