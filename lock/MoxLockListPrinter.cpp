#include "MoxLockListPrinter.h"

#include <cstdio>

#include "MoxLockList.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LockManager;

namespace {

const char* const lockTypeNames[] = {"Shared", "Exclusive", "IntShared", "IntExclusive"};

const char* lockTypeName(Uint32 type) {
    return type < sizeof(lockTypeNames) / sizeof(lockTypeNames[0]) ? lockTypeNames[type] : "";
}

}  // namespace

std::string MoxLockListPrinter::link(Uint32 value, Uint32 end) {
    return value == end ? std::string(" <end>") : std::to_string(value);
}

void MoxLockListPrinter::printLockList(bool withBuckets) const {
    MOX_TRACE_ENTRY();
    std::printf("=========\nLockListe\n=========\n");
    if (withBuckets) {
        printHashMap();
    }
    printAllTransactions();
}

void MoxLockListPrinter::printEntryHeading() const {
    std::printf("|Entry|locktype    |transaction id|segment id|page id|slot id|prev entry|next entry|\n");
    std::printf("|=====|============|==============|==========|=======|=======|==========|==========|\n");
}

void MoxLockListPrinter::printEntry(Uint32 index) const {
    const MoxLockEntry& entry = layout.lockEntry[index];
    std::printf("|" MOX_FORMAT_UINT32_WIDTH "|%12s|%14s|" MOX_FORMAT_UINT16_WIDTH "|" MOX_FORMAT_UINT16_WIDTH
                "|" MOX_FORMAT_UINT8_WIDTH "|%10s|%10s|\n",
                5, index, lockTypeName(entry.lockType), MoxTransactionId(entry.transactionId).dump().c_str(), 10,
                entry.segmentId, 7, entry.pageId, 7, entry.slotId, link(entry.prevEntry, MOX_LOCK_LIST_END).c_str(),
                link(entry.nextEntry, MOX_LOCK_LIST_END).c_str());
}

void MoxLockListPrinter::printAllTransactions() const {
    MOX_TRACE_ENTRY();
    printEntryHeading();
    for (Uint32 index = 0; index < MOX_LOCK_LIST_END; ++index) {
        if (MoxTransactionId(layout.lockEntry[index].transactionId) != MoxTransactionId::INVALID_TRANSACTION_ID) {
            printEntry(index);
        }
    }
    std::fflush(stdout);
}

void MoxLockListPrinter::printTransaction(const MoxTransactionId& transaction) const {
    MOX_TRACE_ENTRY();
    printEntryHeading();
    for (Uint32 index = 0; index < MOX_LOCK_LIST_END; ++index) {
        if ((layout.lockEntry[index].transactionId == transaction)) {
            printEntry(index);
        }
    }
    std::fflush(stdout);
}

void MoxLockListPrinter::printEntries(const std::set<Uint32>& entries) const {
    MOX_TRACE_ENTRY();
    printEntryHeading();
    for (Uint32 index : entries) {
        printEntry(index);
    }
    std::fflush(stdout);
}

void MoxLockListPrinter::printHashMap() const {
    MOX_TRACE_ENTRY();
    const MoxLockListHeader& header = layout.header;
    std::printf("header->latch: %d\n", header.latch.getSemaphoreId());
    std::printf("header->countEntry: " MOX_FORMAT_UINT32 "\n", header.countEntry);
    std::printf("|bucket|link to list|\n");
    std::printf("|======|============|\n");
    for (Uint32 bucket = 0; bucket < MOX_LOCK_BUCKETS; ++bucket) {
        std::printf("|" MOX_FORMAT_UINT32_WIDTH "|%12s|\n", 6, bucket,
                    link(header.index[bucket], MOX_LOCK_LIST_END).c_str());
    }
    std::fflush(stdout);
}

void MoxLockListPrinter::printWaitList() const {
    MOX_TRACE_ENTRY();
    std::printf("|index|waitTrans|indexlockentry|preventry|nextentry|\n");
    std::printf("|=====|=========|==============|=========|=========|\n");
    MoxLockList::walkWaiting(layout, [](Uint32 index, const MoxWaitingEntry& entry) {
        std::printf("|" MOX_FORMAT_UINT32_WIDTH "|%9s|" MOX_FORMAT_UINT32_WIDTH "|%9s|%9s|\n", 5, index,
                    MoxTransactionId(entry.waitingTransaction).dump().c_str(), 14, entry.indexOfLockEntry,
                    link(entry.prevEntry, MOX_LOCK_LIST_END_WAITING).c_str(),
                    link(entry.nextEntry, MOX_LOCK_LIST_END_WAITING).c_str());
        return true;
    });
    std::fflush(stdout);
}
