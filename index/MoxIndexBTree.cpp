#include "MoxIndexBTree.h"

#include <cstring>
#include <iostream>

#include "MoxIndexFreeSpaceInventory.h"
#include "MoxIndexIterator.h"
#include "../buffer/MoxBufferManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = IndexManager;

namespace {

// Deeper than any tree of 65535 pages: a dump that gets there runs in a circle.
const int maxDumpDepth = 32;

}  // namespace

MoxIndexBTree::MoxIndexBTree()
    : indexId(MOX_UNKNOWN_INDEX_ID),
      segmentId(0),
      unique(false),
      dataType(UnknownDataType),
      fsi(MoxIndexFreeSpaceInventory::getInstance()) {}

MoxIndexBTree::~MoxIndexBTree() = default;

MoxErrorCode MoxIndexBTree::initialTree(IndexId index, MoxDataType type, bool isUnique) {
    MOX_TRACE_ENTRY();
    openTree(index, type, isUnique);
    if (segmentId == 0) {
        return MOX_PARAMETER_FAIL;
    }
    fsi->initialize(segmentId);
    std::unique_ptr<MoxIndexTreePage> root = fsi->getFreeLeafPage(segmentId, dataType);
    if (root->pageId() != MoxIndexTreePage::ROOT_PAGE_ID) {
        MOX_SET_ERROR_TOKEN2(MOX_INTERNAL_FAIL, segmentId, root->pageId());
        return MOX_INTERNAL_FAIL;
    }
    root->setNextId(MoxIndexTreePage::NO_PAGE);
    root->setPrevId(MoxIndexTreePage::NO_PAGE);
    // A crash before the pool writes the root must not lose the index:
    // recovery creates page 1, and the inventory with it, from this entry.
    root->logCurrentImage();
    return MOX_SUCCESS;
}

void MoxIndexBTree::openTree(IndexId index, MoxDataType type, bool isUnique) {
    MOX_TRACE_ENTRY();
    indexId = index;
    dataType = type;
    unique = isUnique;
    segmentId = MoxBufferManager::convertIndexIdToSegmentId(index);
}

bool MoxIndexBTree::accepts(IndexId index, const MoxIndexKey& key) const {
    bool fits = index == indexId && key.dataType == dataType;
    if (fits && dataType == VARCHAR) {
        fits = key.varcharKey != nullptr && strlen(key.varcharKey) <= MOX_INDEX_VARCHAR_LENGTH;
    }
    if (!fits) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
    }
    return fits;
}

bool MoxIndexBTree::descend(const MoxIndexKey& key, bool forChange, Path& path) {
    MOX_TRACE_ENTRY();
    // One more round only: once this transaction holds page 1 exclusively,
    // it cannot change its kind again.
    for (int round = 0; round < 2; ++round) {
        path.clear();
        path.push_back(MoxIndexTreePage::get(segmentId, MoxIndexTreePage::ROOT_PAGE_ID, dataType));
        path.front()->findLeaf(key, path);
        if (!forChange) {
            return true;
        }
        // A root leaf may have become an inner node while this waited for it.
        MoxIndexTreePage& leaf = *path.back();
        leaf.lock(MoxLockManager::ExclusiveLock);
        if (leaf.matchesPage()) {
            return true;
        }
    }
    path.clear();
    return false;
}

bool MoxIndexBTree::searchFrom(MoxIndexTreePage& leaf, const MoxIndexKey& key, TupleId& tupleId) {
    MOX_TRACE_ENTRY();
    bool found = false;
    leaf.walkLeaves(true, [&](MoxIndexTreePage& page) {
        if (page.findTuple(key, tupleId)) {
            found = true;
            return false;
        }
        // The run of key may go on behind a leaf that deletes emptied of it.
        return page.empty() || page.getLastValue() < key;
    });
    return found;
}

MoxErrorCode MoxIndexBTree::insertKey(const MoxIndexKey& key, TupleId tupleId) {
    MOX_TRACE_ENTRY();
    if (!accepts(indexId, key)) {
        return MOX_PARAMETER_FAIL;
    }
    Path path;
    if (!descend(key, true, path)) {
        MOX_SET_ERROR_TOKEN1(MOX_INTERNAL_FAIL, segmentId);
        return MOX_INTERNAL_FAIL;
    }
    // Checked under the leaf's exclusive lock, so that two transactions
    // cannot both find the key missing.
    TupleId present;
    if (unique && searchFrom(*path.back(), key, present)) {
        MOX_SET_ERROR_TOKEN1(MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX, segmentId);
        return MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX;
    }
    if (!path.back()->insert(key, tupleId)) {
        splitUpwards(path, key, tupleId);
    }
    return MOX_SUCCESS;
}

void MoxIndexBTree::splitUpwards(Path& path, const MoxIndexKey& key, TupleId tupleId) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxIndexTreePage> left = std::move(path.back());
    path.pop_back();
    MoxIndexKey separator;
    std::unique_ptr<MoxIndexTreePage> right = left->split(separator);
    std::unique_ptr<MoxIndexTreePage> root = growRoot(*left, separator, *right);
    link(*left, *right);
    MoxIndexTreePage& leaf = key <= separator ? *left : *right;
    if (!leaf.insert(key, tupleId)) {
        THROW_wARGS2(MOX_INTERNAL_FAIL, segmentId, leaf.pageId());
    }
    while (root == nullptr && !path.empty()) {
        std::unique_ptr<MoxIndexTreePage> node = std::move(path.back());
        path.pop_back();
        if (node->insert(left->pageId(), separator, right->pageId())) {
            return;
        }
        MoxIndexKey nodeSeparator;
        std::unique_ptr<MoxIndexTreePage> nodeRight = node->split(nodeSeparator);
        root = growRoot(*node, nodeSeparator, *nodeRight);
        link(*node, *nodeRight);
        // The separator from below goes beside the child that split, in
        // whichever half that child now is.
        MoxIndexTreePage& parent =
            node->positionAfter(left->pageId()) != MoxIndexTreePage::NO_POSITION ? *node : *nodeRight;
        if (!parent.insert(left->pageId(), separator, right->pageId())) {
            THROW_wARGS2(MOX_INTERNAL_FAIL, segmentId, parent.pageId());
        }
        left = std::move(node);
        right = std::move(nodeRight);
        separator = nodeSeparator;
    }
}

std::unique_ptr<MoxIndexTreePage> MoxIndexBTree::growRoot(MoxIndexTreePage& left, const MoxIndexKey& separator,
                                                          MoxIndexTreePage& right) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxIndexTreePage> root = left.extractRoot();
    if (root != nullptr && !root->insert(left.pageId(), separator, right.pageId())) {
        THROW_wARGS2(MOX_INTERNAL_FAIL, left.segmentId(), root->pageId());
    }
    return root;
}

void MoxIndexBTree::link(MoxIndexTreePage& left, MoxIndexTreePage& right) {
    MOX_TRACE_ENTRY();
    PageId after = left.nextId();
    right.setNextId(after);
    left.setNextId(right.pageId());
    right.setPrevId(left.pageId());
    if (after != MoxIndexTreePage::NO_PAGE) {
        MoxIndexTreePage::get(segmentId, after, dataType)->setPrevId(right.pageId());
    }
}

MoxErrorCode MoxIndexBTree::find(IndexId index, const MoxIndexKey& key, TupleId& tupleId) {
    MOX_TRACE_ENTRY();
    if (!accepts(index, key)) {
        return MOX_PARAMETER_FAIL;
    }
    Path path;
    if (!descend(key, false, path)) {
        MOX_SET_ERROR_TOKEN1(MOX_INTERNAL_FAIL, segmentId);
        return MOX_INTERNAL_FAIL;
    }
    if (!searchFrom(*path.back(), key, tupleId)) {
        MOX_SET_ERROR(MOX_NOT_FOUND_WARN);
        return MOX_NOT_FOUND_WARN;
    }
    return MOX_SUCCESS;
}

bool MoxIndexBTree::checkUnique(const MoxIndexKey& key) {
    MOX_TRACE_ENTRY();
    Path path;
    TupleId present;
    return accepts(indexId, key) && descend(key, false, path) && searchFrom(*path.back(), key, present);
}

MoxErrorCode MoxIndexBTree::findFirstKey(IndexId index, MoxIndexKey& key, TupleId& tupleId) {
    MOX_TRACE_ENTRY();
    return findEdgeKey(index, true, key, tupleId);
}

MoxErrorCode MoxIndexBTree::findLastKey(IndexId index, MoxIndexKey& key, TupleId& tupleId) {
    MOX_TRACE_ENTRY();
    return findEdgeKey(index, false, key, tupleId);
}

MoxErrorCode MoxIndexBTree::findEdgeKey(IndexId index, bool smallest, MoxIndexKey& key, TupleId& tupleId) {
    MOX_TRACE_ENTRY();
    if (index != indexId) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    std::unique_ptr<MoxIndexTreePage> root = MoxIndexTreePage::get(segmentId, MoxIndexTreePage::ROOT_PAGE_ID, dataType);
    std::unique_ptr<MoxIndexTreePage> leaf = smallest ? root->findFirstLeaf() : root->findLastLeaf();
    root.reset();
    bool found = false;
    // Leaves that deletes emptied stay in the chain: the key is in the
    // first leaf from that end that holds any.
    leaf->walkLeaves(smallest, [&](MoxIndexTreePage& page) {
        if (page.empty()) {
            return true;
        }
        Uint16 position = smallest ? 0 : static_cast<Uint16>(page.numElements() - 1);
        key = page.getValueAt(position);
        tupleId = page.getTupleAt(position);
        found = true;
        return false;
    });
    if (!found) {
        MOX_SET_ERROR(MOX_NOT_FOUND_WARN);
        return MOX_NOT_FOUND_WARN;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxIndexBTree::findRange(IndexId index, MoxIndexKey* start, MoxIndexKey* stop,
                                      MoxIndexIterator*& iterator) {
    MOX_TRACE_ENTRY();
    if (index != indexId) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    iterator = new MoxIndexIterator(indexId, start, stop, dataType);
    return iterator->getResetResult();
}

bool MoxIndexBTree::removeKey(const MoxIndexKey& key, const TupleId* tupleId, Uint32& removed) {
    MOX_TRACE_ENTRY();
    Path path;
    if (!descend(key, true, path)) {
        return false;
    }
    removed = path.back()->deleteKey(key, tupleId);
    return true;
}

void MoxIndexBTree::deleteKey(const MoxIndexKey& key) {
    MOX_TRACE_ENTRY();
    Uint32 removed = 0;
    if (accepts(indexId, key)) {
        removeKey(key, nullptr, removed);
    }
}

MoxErrorCode MoxIndexBTree::deleteKey(IndexId index, const MoxIndexKey& key, const TupleId* tupleId) {
    MOX_TRACE_ENTRY();
    if (!accepts(index, key)) {
        return MOX_PARAMETER_FAIL;
    }
    Uint32 removed = 0;
    if (!removeKey(key, tupleId, removed)) {
        MOX_SET_ERROR_TOKEN1(MOX_INTERNAL_FAIL, segmentId);
        return MOX_INTERNAL_FAIL;
    }
    if (removed == 0) {
        MOX_SET_ERROR(MOX_NOT_FOUND_WARN);
        return MOX_NOT_FOUND_WARN;
    }
    return MOX_SUCCESS;
}

void MoxIndexBTree::dump() const {
    std::cout << "SegmentId = " << segmentId << "\nIndexID = " << indexId << "\nDatatype = " << dataType
              << "\nUnique = " << unique << '\n';
}

void MoxIndexBTree::dump(int page, bool full, bool recursive) {
    MOX_TRACE_ENTRY();
    dumpPage(page, full, recursive, 0);
}

void MoxIndexBTree::dumpPage(int page, bool full, bool recursive, int depth) {
    MOX_TRACE_ENTRY();
    if (page < MOX_MIN_PAGE_ID || page > MOX_MAX_PAGE_ID || depth > maxDumpDepth) {
        THROW_wARGS2(MOX_PARAMETER_FAIL, segmentId, page);
    }
    PageId id = static_cast<PageId>(page);
    std::unique_ptr<MoxIndexTreePage> treePage;
    try {
        treePage = MoxIndexTreePage::get(segmentId, id, dataType);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGETYPE_MISMATCH) {
            throw;
        }
        if (recursive && id == 0) {
            fsi->dump(segmentId, full);
        } else {
            fsi->dump(segmentId, id, full);
        }
        return;
    }
    if (full) {
        treePage->dump(true);
    } else {
        treePage->dump2(false);
    }
    if (recursive && !treePage->isLeaf()) {
        dumpPage(treePage->getFirstChild(), full, true, depth + 1);
        for (Uint16 position = 0; position < treePage->numElements(); ++position) {
            dumpPage(treePage->getChildAt(position), full, true, depth + 1);
        }
    }
}

void MoxIndexBTree::dumpLeafs(bool full) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<MoxIndexTreePage> leaf =
        MoxIndexTreePage::get(segmentId, MoxIndexTreePage::ROOT_PAGE_ID, dataType)->findFirstLeaf();
    leaf->walkLeaves(true, [full](MoxIndexTreePage& page) {
        page.dump(full);
        return true;
    });
}
