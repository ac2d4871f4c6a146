// The index over an index segment file of arbitrary bytes: its tree page
// and inventory page readers through the dumps (tree, pages, leaves,
// inventory), a search, a walk of a key range and an insert. Damage must
// come back as an error, never as a crash, a hang or an access outside a
// page. A key that an insert into the damaged tree reports as stored must
// be found again.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "MoxBuffer.h"
#include "MoxFuzzEnvironment.h"
#include "MoxFuzzInput.h"
#include "MoxIndexManager.h"
#include "MoxSupport.h"

namespace {

const IndexId treeIndex = 1;
// More entries than a file of the fuzzer's largest input can hold.
const int walkLimit = 1000000;

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "finding: %s\n", what);
    abort();
}

// Runs one part of the work; a MoxException is the clear error damage may cause.
template <typename Work>
void attempt(Work work) {
    try {
        work();
    } catch (const MoxException&) {
    }
}

// A key of the tree's type from the input's number.
MoxIndexKey keyOf(MoxDataType dataType, Sint32 number, std::string& text) {
    if (dataType == INTEGER) return MoxIndexKey(number);
    text = "k" + std::to_string(number);
    return MoxIndexKey(text.c_str());
}

void walk(MoxIndexBTree& tree, MoxIndexKey* start) {
    MoxIndexIterator* raw = nullptr;
    const MoxErrorCode positioned = tree.findRange(treeIndex, start, nullptr, raw);
    // The caller owns the iterator whatever its positioning gave.
    std::unique_ptr<MoxIndexIterator> iterator(raw);
    if (positioned != MOX_SUCCESS || iterator == nullptr) return;
    int count = 0;
    for (TupleId tid; iterator->hasNext() && iterator->getNextTupleId(tid) == MOX_SUCCESS;) {
        if (++count > walkLimit) finding("the walk of the leaves does not end");
    }
}

void insertAndFind(MoxIndexBTree& tree, const MoxIndexKey& key) {
    const TupleId stored{4711, 3};
    if (tree.insertKey(key, stored) != MOX_SUCCESS) return;
    TupleId found;
    MoxErrorCode rc = MOX_SUCCESS;
    try {
        rc = tree.find(treeIndex, key, found);
    } catch (const MoxException&) {
        finding("an inserted key cannot be searched");
    }
    if (rc != MOX_SUCCESS) finding("an inserted key is not found");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MoxFuzzEnvironment::enter();
    MoxFuzzEnvironment::startSystem();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MoxFuzzInput input(data, size);
    const Uint8 flags = input.byte();
    const MoxDataType dataType = input.byte() % 2 == 0 ? INTEGER : VARCHAR;
    const Sint32 number = input.sint32();
    const PageId page = input.uint16();
    const std::string file = input.rest();

    const SegmentId segment = MoxBufferManager::convertIndexIdToSegmentId(treeIndex);
    MoxFuzzEnvironment::createSegment(segment, file);
    MoxBufferManager::getInstance()->openSegment(segment);
    MoxIndexBTree tree;
    bool opened = false;
    attempt([&] {
        tree.openTree(treeIndex, dataType, false);
        opened = true;
    });
    std::string text;
    MoxIndexKey key = keyOf(dataType, number, text);
    if (opened) {
        if (flags & MoxTreeFuzzInput::Dumps) {
            attempt([&] { tree.dump(); });
            attempt([&] { tree.dump(page, true, false); });
            attempt([&] { tree.dump(MoxIndexTreePage::ROOT_PAGE_ID, false, true); });
            attempt([&] { tree.dumpLeafs(true); });
            attempt([&] { MoxIndexFreeSpaceInventory::getInstance()->dump(segment, true); });
        }
        if (flags & MoxTreeFuzzInput::Search) {
            attempt([&] {
                TupleId tid;
                tree.find(treeIndex, key, tid);
            });
            attempt([&] {
                MoxIndexKey edge;
                TupleId tid;
                tree.findLastKey(treeIndex, edge, tid);
            });
        }
        if (flags & MoxTreeFuzzInput::Walk) {
            attempt([&] { walk(tree, nullptr); });
            attempt([&] { walk(tree, &key); });
        }
        if (flags & MoxTreeFuzzInput::Insert) attempt([&] { insertAndFind(tree, key); });
    }

    MoxFuzzEnvironment::dropSegment(segment);
    return 0;
}
