#ifndef MOX_LOCK_LIST_PRINTER_H
#define MOX_LOCK_LIST_PRINTER_H

#include <set>
#include <string>

#include "MoxLockListLayout.h"
#include "../transaction/MoxTransactionId.h"

// Writes the diagnostic tables of a lock list to standard output.
// REQUIRES: the caller holds the list's latch (shared suffices).
class MoxLockListPrinter {
  public:
    explicit MoxLockListPrinter(const MoxLockListLayout& layout) : layout(layout) {}

    // The "LockListe" heading, the bucket heads if withBuckets, every entry.
    void printLockList(bool withBuckets) const;
    // Every entry in use, in index order.
    void printAllTransactions() const;
    void printTransaction(const MoxTransactionId& transaction) const;
    void printEntries(const std::set<Uint32>& entries) const;
    // The latch, the entry count and the head of each bucket chain.
    void printHashMap() const;
    // The waiting entries, newest first.
    void printWaitList() const;

  private:
    void printEntryHeading() const;
    void printEntry(Uint32 index) const;

    // A link as a number, or " <end>" for the end of its list.
    static std::string link(Uint32 value, Uint32 end);

    const MoxLockListLayout& layout;
};

#endif
