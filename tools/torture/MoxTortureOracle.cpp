#include "MoxTortureOracle.h"

#include <sys/stat.h>

#include <map>

#include "MoxTortureJournal.h"

MoxLsn MoxTortureOracle::endOfLog() {
    MoxLsn end(1, 0);
    for (Uint32 number = 1; number <= MOX_MAX_UINT16; ++number) {
        struct stat status = {};
        if (stat((std::to_string(number) + ".log").c_str(), &status) != 0) {
            break;
        }
        end = MoxLsn(static_cast<Uint16>(number), static_cast<Uint32>(status.st_size));
    }
    return end;
}

std::vector<std::string> MoxTortureOracle::apply(Model& model, const std::vector<std::string>& journals,
                                                 const MoxLsn& since) {
    MoxRecovery log;
    log.AnalyseLog(MoxRecovery::RECORD);
    // Each transaction's first COMMIT entry since the workers started.
    std::map<std::string, MoxLsn> commits;
    for (int i = 0; i < log.getRecordRedoListLength(); ++i) {
        const MoxRecordLogEntry& entry = log.getRecordRedoList()[i];
        if (entry.getTransactionType() == MoxAbstractLogEntry::COMMIT && !(entry.getLsn() < since)) {
            commits.emplace(entry.getTransactionID().dump(), entry.getLsn());
        }
    }
    std::vector<std::string> problems;
    std::map<MoxLsn, MoxTortureJournal::Transaction> committed;
    for (const std::string& journal : journals) {
        for (const MoxTortureJournal::Transaction& transaction : MoxTortureJournal::read(journal)) {
            const auto commit = commits.find(transaction.id);
            if (commit != commits.end()) {
                committed.emplace(commit->second, transaction);
            } else if (transaction.confirmed) {
                problems.push_back("the commit of transaction " + transaction.id +
                                   " returned, but the log holds no COMMIT entry of it");
            }
        }
    }
    for (const auto& [lsn, transaction] : committed) {
        for (const MoxTortureJournal::Change& change : transaction.changes) {
            if (change.removed) {
                model[change.table].erase(change.row.key);
            } else {
                model[change.table][change.row.key] = change.row;
            }
        }
    }
    return problems;
}
