#ifndef MOX_INDEX_ITERATOR_H
#define MOX_INDEX_ITERATOR_H

#include <functional>
#include <memory>

#include "MoxIndexKey.h"
#include "MoxIndexTreePage.h"
#include "../record/MoxIterator.h"
#include "../record/TupleId.h"

// Walks the entries of an index from a start key to a stop key (both
// included; a null bound leaves that end open) in key order across the leaf
// chain, equal keys newest first, and yields their TupleIds. Reads leaves
// without locks, as the tree's searches do, so entries that other changes
// move while it walks may be missed or seen twice.
//
// The caller owns the iterator and keeps both bounds alive while using it.
// Used by one thread; never throws: failures are returned and recorded in
// the error object. Holds a fix on the leaf it stands on until it moves on,
// is reset or destroyed.
class MoxIndexIterator : public MoxIterator {
  public:
    // Positions the iterator (reset).
    MoxIndexIterator(IndexId indexId, const MoxIndexKey* startKey, const MoxIndexKey* stopKey, MoxDataType dataType);
    ~MoxIndexIterator() override;
    MoxIndexIterator(const MoxIndexIterator&) = delete;
    MoxIndexIterator& operator=(const MoxIndexIterator&) = delete;

    // Steps past the entry the last getNextTupleId returned, on to the next
    // leaf where this one ends; whether an entry within the range follows.
    bool hasNext() override;
    // Back to the first entry not below the start key; MOX_INTERNAL_FAIL
    // when the descent gave up, leaving the iterator without entries.
    MoxErrorCode reset() override;
    // The TupleId of the next entry, without moving past it (hasNext does
    // that); at the end the TupleId (0, 0) and MOX_NOT_FOUND_WARN.
    MoxErrorCode getNextTupleId(TupleId& tupleId);
    // What the last reset, or the constructor's, returned.
    MoxErrorCode getResetResult() const { return mResetResult; }

  private:
    // Runs body; an exception leaves the iterator without a page and its
    // code in the error object, and is returned.
    MoxErrorCode guarded(const std::function<void()>& body);
    // Descends to the first leaf of the range; throws.
    void position();
    // hasNext; throws.
    bool advance();

    std::unique_ptr<MoxIndexTreePage> mCurrentPage;
    const MoxIndexKey* mStartKey;
    const MoxIndexKey* mStopKey;
    IndexId mIndexId;
    MoxDataType mDataType;
    Uint16 mCurrentPosition;
    // Whether the entry at mCurrentPosition has been returned: its TupleId
    // cannot tell, since two entries in a row may carry the same one.
    bool mCurrentReturned;
    MoxErrorCode mResetResult;
};

#endif
