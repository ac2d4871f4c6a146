// The record manager over a table segment file of arbitrary bytes: its data
// page and inventory page readers through the dumps, a scan, reads of
// records and an insert. Damage must come back as an error, never as a
// crash, a hang or an access outside a page. A record that an insert into
// the damaged table reports as stored must read back as stored.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "MoxFuzzEnvironment.h"
#include "MoxFuzzInput.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"

namespace {

const TableId table = 1;
// More records than a file of the fuzzer's largest input can hold.
const int scanLimit = 100000;

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "finding: %s\n", what);
    abort();
}

std::string bytesOf(const MoxRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.getRecordData()), record.getLength());
}

// Runs one part of the work; a MoxException is the clear error damage may cause.
template <typename Work>
void attempt(Work work) {
    try {
        work();
    } catch (const MoxException&) {
    }
}

void scan() {
    MoxRecordIterator* raw = nullptr;
    MoxRecordManager::getInstance()->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> iterator(raw);
    MoxRecord* record = nullptr;
    int count = 0;
    while (iterator->getNext(record) == MOX_SUCCESS) {
        if (++count > scanLimit) finding("the scan does not end");
    }
    delete record;
}

void readEveryPage(Uint64 pages, SlotId slot) {
    MoxRecordManager* records = MoxRecordManager::getInstance();
    for (Uint64 page = 1; page < pages; ++page) {
        TupleId tid;
        tid.page = static_cast<PageId>(page);
        tid.slot = slot;
        attempt([&] {
            MoxRecord* record = nullptr;
            records->get(table, tid, record);
            delete record;
        });
        attempt([&] {
            MoxRecordLayout::FsiEntry entry;
            records->findFsiEntry(table, tid.page, entry);
        });
    }
}

void insertAndReadBack(Uint16 length) {
    std::string bytes(length, 'i');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    MoxRecord record(reinterpret_cast<const unsigned char*>(bytes.data()), length);
    TupleId tid;
    try {
        MoxRecordManager::getInstance()->insert(record, table, tid);
    } catch (const MoxException&) {
        return;
    }
    MoxRecord* stored = nullptr;
    try {
        MoxRecordManager::getInstance()->get(table, tid, stored);
    } catch (const MoxException&) {
        finding("an inserted record cannot be read");
    }
    std::unique_ptr<MoxRecord> owned(stored);
    if (bytesOf(*stored) != bytes) finding("an inserted record reads back changed");
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
    const Uint16 insertLength = static_cast<Uint16>(1 + input.uint16() % MoxRecordLayout::MAX_RECORD_LENGTH);
    const SlotId slot = input.byte();
    const std::string file = input.rest();

    MoxFuzzEnvironment::createSegment(table, file);
    MoxRecordManager* records = MoxRecordManager::getInstance();
    if (flags & MoxPageFuzzInput::Dumps) {
        attempt([&] { records->dumpTableInfo(table); });
        attempt([&] { records->dumpTableContent(table); });
    }
    if (flags & MoxPageFuzzInput::Scan) scan();
    if (flags & MoxPageFuzzInput::Reads) readEveryPage(file.size() / MOX_PAGE_SIZE, slot);
    if (flags & MoxPageFuzzInput::Insert) insertAndReadBack(insertLength);

    MoxFuzzEnvironment::dropSegment(table);
    return 0;
}
