#ifndef MOX_TORTURE_JOURNAL_H
#define MOX_TORTURE_JOURNAL_H

#include <string>
#include <vector>

#include "MoxTortureTables.h"
#include "MoxTransaction.h"

// What one worker process of a torture or load run did, in a file of its
// own that survives the worker's death: each transaction's changes in one
// block, written in one call just before its commit ("I <transaction>",
// "S <table> <key> <seed> <length>" or "D <table> <key>" per change, "E"),
// and "C <transaction>" once the commit returned. A block that the death
// cut off belongs to a transaction that never began to commit.
class MoxTortureJournal {
  public:
    struct Change {
        int table = 0;
        bool removed = false;
        MoxTortureTables::Row row;  // only the key for a removal
    };
    struct Transaction {
        std::string id;  // the transaction id's text
        std::vector<Change> changes;
        bool confirmed = false;  // its commit returned
    };

    // Opens the file for appending, creating it.
    explicit MoxTortureJournal(const std::string& path);
    ~MoxTortureJournal();
    MoxTortureJournal(const MoxTortureJournal&) = delete;
    MoxTortureJournal& operator=(const MoxTortureJournal&) = delete;

    void intend(const MoxTransactionId& transaction, const std::vector<Change>& changes);
    void confirm(const MoxTransactionId& transaction);

    // The complete blocks of a journal, in the order written.
    static std::vector<Transaction> read(const std::string& path);

  private:
    void append(const std::string& text);

    int descriptor;
};

#endif
