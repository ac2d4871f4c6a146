#include "MoxIndexIterator.h"

#include "../buffer/MoxBufferManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

MoxIndexIterator::MoxIndexIterator(IndexId indexId, const MoxIndexKey* startKey, const MoxIndexKey* stopKey,
                                   MoxDataType dataType)
    : mCurrentPage(),
      mStartKey(startKey),
      mStopKey(stopKey),
      mIndexId(indexId),
      mDataType(dataType),
      mCurrentPosition(0),
      mCurrentReturned(false),
      mResetResult(MOX_SUCCESS) {
    MOX_TRACE_ENTRY();
    reset();
}

MoxIndexIterator::~MoxIndexIterator() {
    MOX_TRACE_ENTRY();
    mCurrentPage.reset();
}

MoxErrorCode MoxIndexIterator::guarded(const std::function<void()>& body) {
    try {
        body();
        return MOX_SUCCESS;
    } catch (const MoxException& exception) {
        mCurrentPage.reset();
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
        return MoxGetErrorCode();
    }
}

MoxErrorCode MoxIndexIterator::reset() {
    MOX_TRACE_ENTRY();
    mCurrentPage.reset();
    mCurrentPosition = 0;
    mCurrentReturned = false;
    mResetResult = guarded([this] { position(); });
    return mResetResult;
}

void MoxIndexIterator::position() {
    MOX_TRACE_ENTRY();
    SegmentId segment = MoxBufferManager::convertIndexIdToSegmentId(mIndexId);
    if (segment == 0) {
        THROW_wARGS1(MOX_PARAMETER_FAIL, mIndexId);
    }
    std::unique_ptr<MoxIndexTreePage> root = MoxIndexTreePage::get(segment, MoxIndexTreePage::ROOT_PAGE_ID, mDataType);
    if (mStartKey == nullptr) {
        mCurrentPage = root->findFirstLeaf();
        return;
    }
    MoxIndexTreePage::Path path;
    path.push_back(std::move(root));
    path.front()->findLeaf(*mStartKey, path);
    mCurrentPage = std::move(path.back());
    // Entries below the start key in this leaf; a leaf with none at or
    // above it sends hasNext on to the next leaf.
    while (mCurrentPosition < mCurrentPage->numElements() && mCurrentPage->getValueAt(mCurrentPosition) < *mStartKey) {
        ++mCurrentPosition;
    }
}

bool MoxIndexIterator::hasNext() {
    MOX_TRACE_ENTRY();
    bool found = false;
    guarded([&] { found = advance(); });
    return found;
}

bool MoxIndexIterator::advance() {
    if (mCurrentPage == nullptr) {
        return false;
    }
    if (mCurrentReturned) {
        ++mCurrentPosition;
        mCurrentReturned = false;
    }
    while (mCurrentPosition >= mCurrentPage->numElements()) {
        PageId next = mCurrentPage->nextId();
        if (next == MoxIndexTreePage::NO_PAGE || next == mCurrentPage->pageId()) {
            return false;
        }
        std::unique_ptr<MoxIndexTreePage> leaf = MoxIndexTreePage::get(mCurrentPage->segmentId(), next, mDataType);
        if (!leaf->isLeaf()) {
            THROW_wARGS3(MOX_IM_NO_LEAF_PAGE, next, mCurrentPage->segmentId(), "inner node");
        }
        mCurrentPage = std::move(leaf);
        mCurrentPosition = 0;
    }
    return mStopKey == nullptr || mCurrentPage->getValueAt(mCurrentPosition) <= *mStopKey;
}

MoxErrorCode MoxIndexIterator::getNextTupleId(TupleId& tupleId) {
    MOX_TRACE_ENTRY();
    tupleId = TupleId();
    bool found = false;
    MoxErrorCode rc = guarded([&] { found = advance(); });
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    if (!found) {
        MOX_SET_ERROR(MOX_NOT_FOUND_WARN);
        return MOX_NOT_FOUND_WARN;
    }
    tupleId = mCurrentPage->getTupleAt(mCurrentPosition);
    mCurrentReturned = true;
    return MOX_SUCCESS;
}
