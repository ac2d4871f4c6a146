#ifndef MOX_TORTURE_ORACLE_H
#define MOX_TORTURE_ORACLE_H

#include <array>
#include <string>
#include <vector>

#include "MoxLog.h"
#include "MoxTortureTables.h"

// What the torture tables must hold: every transaction of the workers'
// journals that committed, applied in commit order. A transaction committed
// when a COMMIT entry of it is in the log (its first one commits it); the
// order of those entries is the order in which conflicting transactions
// committed, since each held its locks until then. Reads log and journal
// files only: any process, no system needed.
class MoxTortureOracle {
  public:
    typedef std::array<MoxTortureTables::Contents, MoxTortureTables::tableCount> Model;

    // The LSN that the next log entry gets: the last log file and its size
    // ((1,0) without one). Taken before the workers start, it tells their
    // entries from older ones whose transaction ids may come again.
    static MoxLsn endOfLog();

    // Applies to model the transactions of the journals whose commits are
    // in the log at or after since. Returns the problems: a transaction
    // whose commit returned (confirmed) without a COMMIT entry.
    static std::vector<std::string> apply(Model& model, const std::vector<std::string>& journals, const MoxLsn& since);
};

#endif
