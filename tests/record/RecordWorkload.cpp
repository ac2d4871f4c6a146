#include "RecordWorkload.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "MoxBuffer.h"
#include "MoxChecker.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

MoxRecord recordOf(const std::string& bytes) {
    return MoxRecord(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size()));
}

template <typename Map>
auto randomElement(Map& map, std::mt19937& random) {
    return std::next(map.begin(), std::uniform_int_distribution<size_t>(0, map.size() - 1)(random));
}

}  // namespace

RecordWorkload::RecordWorkload(const Tables& committed, unsigned seed, int journal)
    : committedTables(committed), current(committed), random(seed), journal(journal), number(seed * 100000) {}

std::string RecordWorkload::bytesOf(int number, size_t length) {
    std::string text = std::to_string(number);
    text.insert(text.begin(), '#');
    text.push_back(';');
    std::string bytes;
    while (bytes.size() < length) bytes += text;
    bytes.resize(length);
    return bytes;
}

void RecordWorkload::commit() {
    MoxRecordManager::getInstance()->commit();
    MoxBufferManager::getInstance()->commit();
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
}

void RecordWorkload::rollback() {
    MoxRecordManager::getInstance()->rollback();
    MoxBufferManager::getInstance()->rollback();
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
}

void RecordWorkload::note(const std::string& line) const {
    if (journal >= 0) {
        const std::string text = line + "\n";
        ssize_t written = write(journal, text.data(), text.size());
        (void)written;
    }
}

size_t RecordWorkload::randomLength() {
    const int kind = std::uniform_int_distribution<int>(0, 19)(random);
    return kind < 11   ? std::uniform_int_distribution<size_t>(1, 120)(random)
           : kind < 17 ? std::uniform_int_distribution<size_t>(120, 1200)(random)
                       : std::uniform_int_distribution<size_t>(1200, MoxRecordManager::MAX_RECORD_LENGTH)(random);
}

TupleId RecordWorkload::insert(TableId table, int bytesNumber, size_t length) {
    const std::string bytes = bytesOf(bytesNumber, length);
    TupleId tid;
    MoxRecordManager::getInstance()->insert(recordOf(bytes), table, tid);
    current[table][{tid.page, tid.slot}] = bytes;
    note("I " + std::to_string(table) + " " + std::to_string(tid.page) + " " + std::to_string(tid.slot) + " " +
         std::to_string(bytesNumber) + " " + std::to_string(length));
    return tid;
}

void RecordWorkload::change() {
    MoxRecordManager* manager = MoxRecordManager::getInstance();
    auto table = randomElement(current, random);
    Table& rows = table->second;
    const int kind = std::uniform_int_distribution<int>(0, 9)(random);
    const size_t length = randomLength();
    if (rows.size() < 8 || kind < 4) {
        insert(table->first, ++number, length);
        return;
    }
    auto row = randomElement(rows, random);
    TupleId tid;
    tid.page = row->first.first;
    tid.slot = row->first.second;
    const std::string where =
        std::to_string(table->first) + " " + std::to_string(tid.page) + " " + std::to_string(tid.slot);
    if (kind < 8) {
        const std::string bytes = bytesOf(++number, length);
        manager->replace(table->first, tid, recordOf(bytes));
        row->second = bytes;
        note("U " + where + " " + std::to_string(number) + " " + std::to_string(length));
    } else {
        manager->remove(table->first, tid);
        rows.erase(row);
        note("D " + where);
    }
}

void RecordWorkload::commitTransaction() {
    note("B " + MoxTransactionManager::getInstance()->getCurrentTransactionID().dump());
    commit();
    committedTables = current;
    note("C");
}

void RecordWorkload::runTransaction() {
    const int changes = std::uniform_int_distribution<int>(1, 12)(random);
    for (int i = 0; i < changes; ++i) change();
    if (std::uniform_int_distribution<int>(0, 3)(random) != 0) {
        commitTransaction();
        return;
    }
    rollback();
    current = committedTables;
    note("R");
}

std::vector<std::string> RecordWorkload::differences(const Tables& expected) {
    std::vector<std::string> found;
    for (const auto& [table, rows] : expected) {
        const std::string name = "table " + std::to_string(table) + ": ";
        MoxRecord* record = nullptr;
        for (const auto& [place, bytes] : rows) {
            TupleId tid;
            tid.page = place.first;
            tid.slot = place.second;
            const std::string where = std::to_string(tid.page) + "," + std::to_string(tid.slot);
            try {
                MoxRecordManager::getInstance()->get(table, tid, record);
            } catch (const MoxException& exception) {
                found.push_back(name + "missing " + where + ", code " + std::to_string(exception.getErrorCode()));
                continue;
            }
            if (std::string(reinterpret_cast<const char*>(record->getRecordData()), record->getLength()) != bytes) {
                found.push_back(name + "other bytes at " + where);
            }
        }
        delete record;
        commit();
        // With each record and its one forwarding hop sound, the count says
        // that no record is there that the model does not know.
        MoxTableChecker checker(table, std::to_string(table));
        for (const MoxCheckProblem& problem : checker.check()) found.push_back(problem.line());
        if (checker.records() != rows.size()) {
            found.push_back(name + std::to_string(checker.records()) + " records, not " + std::to_string(rows.size()));
        }
    }
    return found;
}

RecordWorkload::Tables RecordWorkload::replayJournal(const std::string& path, Tables tables) {
    std::ifstream journal(path);
    std::vector<std::string> pending;
    std::string line;
    std::string committing;
    auto apply = [&] {
        for (const std::string& change : pending) {
            std::istringstream words(change);
            char kind = 0;
            TableId table = 0;
            int page = 0;
            int slot = 0;
            int number = 0;
            size_t length = 0;
            words >> kind >> table >> page >> slot >> number >> length;
            const auto tid = std::make_pair(static_cast<PageId>(page), static_cast<SlotId>(slot));
            if (kind == 'D') {
                tables[table].erase(tid);
            } else {
                tables[table][tid] = bytesOf(number, length);
            }
        }
        pending.clear();
    };
    while (std::getline(journal, line)) {
        if (line == "C") {
            apply();
            committing.clear();
        } else if (line == "R") {
            pending.clear();
        } else if (line[0] == 'B') {
            committing = line.substr(2);
        } else {
            pending.push_back(line);
        }
    }
    if (!committing.empty()) {
        MoxRecovery log;
        log.AnalyseLog(MoxRecovery::RECORD);
        for (int i = 0; i < log.getRecordRedoListLength(); ++i) {
            const MoxRecordLogEntry& entry = log.getRecordRedoList()[i];
            if (entry.getTransactionType() == MoxAbstractLogEntry::COMMIT &&
                entry.getTransactionID() == MoxTransactionId(committing)) {
                apply();
            }
        }
    }
    return tables;
}
