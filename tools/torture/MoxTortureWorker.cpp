#include "MoxTortureWorker.h"

#include <sstream>

#include "MoxSupport.h"

void MoxTortureWorker::Stats::add(const Stats& other) {
    commits += other.commits;
    rollbacks += other.rollbacks;
    deadlocks += other.deadlocks;
    timeOuts += other.timeOuts;
    conflicts += other.conflicts;
}

std::string MoxTortureWorker::Stats::text() const {
    std::ostringstream out;
    out << commits << " " << rollbacks << " " << deadlocks << " " << timeOuts << " " << conflicts;
    return out.str();
}

MoxTortureWorker::Stats MoxTortureWorker::Stats::parse(const std::string& text) {
    Stats stats;
    std::istringstream in(text);
    in >> stats.commits >> stats.rollbacks >> stats.deadlocks >> stats.timeOuts >> stats.conflicts;
    return stats;
}

MoxTortureWorker::MoxTortureWorker(unsigned seed, const std::string& journalPath, Sint32 keySpace)
    : random(seed), journal(journalPath), keySpace(keySpace) {
    MoxSystem::commit();
}

void MoxTortureWorker::change(std::vector<MoxTortureJournal::Change>& changes) {
    for (int count = 1 + pick(5); count > 0; --count) {
        MoxTortureJournal::Change change;
        change.table = pick(MoxTortureTables::tableCount);
        change.row.key = pick(keySpace);
        change.removed = pick(4) == 0;
        if (change.removed) {
            if (tables.remove(change.table, change.row.key)) {
                changes.push_back(change);
            }
            continue;
        }
        change.row.seed = static_cast<Uint32>(random());
        // Mostly short values, now and then one that moves the row to
        // another page or back.
        change.row.length = static_cast<Uint16>(pick(3) == 0 ? pick(MoxTortureTables::maxValueLength + 1) : pick(120));
        tables.put(change.table, change.row);
        changes.push_back(change);
    }
}

MoxTortureWorker::Stats MoxTortureWorker::run(std::chrono::steady_clock::time_point deadline) {
    Stats stats;
    MoxTransactionManager* transactions = MoxTransactionManager::getInstance();
    while (std::chrono::steady_clock::now() < deadline) {
        const MoxTransactionId transaction = transactions->getCurrentTransactionID();
        std::vector<MoxTortureJournal::Change> changes;
        try {
            change(changes);
        } catch (const MoxException& exception) {
            switch (exception.getErrorCode()) {
                case MOX_LM_DEADLOCK:
                    ++stats.deadlocks;
                    break;
                case MOX_LM_LOCK_TIME_OUT:
                    ++stats.timeOuts;
                    break;
                case MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX:
                case MOX_RM_REC_NOT_FOUND:
                    ++stats.conflicts;
                    break;
                default:
                    throw;
            }
            MoxSystem::rollback();
            continue;
        }
        if (pick(6) == 0) {
            MoxSystem::rollback();
            ++stats.rollbacks;
            continue;
        }
        journal.intend(transaction, changes);
        MoxSystem::commit();
        journal.confirm(transaction);
        ++stats.commits;
    }
    return stats;
}
