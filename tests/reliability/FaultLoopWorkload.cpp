#include "FaultLoopWorkload.h"

#include <fstream>
#include <sstream>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

// Transactions after the one that creates the tables: how many records each
// inserts, and whether it commits and flushes.
struct TransactionShape {
    int inserts;
    bool commits;
    bool flushes;
};
const TransactionShape transactions[] = {{6, true, true}, {6, true, false}, {6, true, true}, {3, false, false}};

const char* stateNames[] = {"pending", "committed", "durable"};

}  // namespace

const std::vector<TableId>& FaultLoopWorkload::tables() {
    static const std::vector<TableId> ids = {21, 22, 23};
    return ids;
}

std::string FaultLoopWorkload::bytesOf(TableId table, int number) {
    const std::string text = "table " + std::to_string(table) + " record " + std::to_string(number) + ";";
    std::string bytes;
    const size_t length = 700 + static_cast<size_t>(number * 739 + table * 97) % 2400;
    while (bytes.size() < length) bytes += text;
    bytes.resize(length);
    return bytes;
}

const std::vector<FaultLoopWorkload::Step>& FaultLoopWorkload::steps() {
    static const std::vector<Step> all = [] {
        std::vector<Step> list = {{Step::CreateTables, 0, 0}, {Step::Commit, 0, 0}, {Step::FlushAll, 0, 0}};
        int number = 0;
        for (const TransactionShape& shape : transactions) {
            for (int i = 0; i < shape.inserts; ++i, ++number) {
                list.push_back({Step::Insert, tables()[number % tables().size()], number});
            }
            if (shape.commits) list.push_back({Step::Commit, 0, 0});
            if (shape.flushes) list.push_back({Step::FlushAll, 0, 0});
        }
        return list;
    }();
    return all;
}

size_t FaultLoopWorkload::stepCount() {
    return steps().size();
}

std::string FaultLoopWorkload::nameOf(const Step& step) {
    switch (step.kind) {
        case Step::CreateTables:
            return "create the tables";
        case Step::Insert:
            return "insert record " + std::to_string(step.number) + " into table " + std::to_string(step.table);
        case Step::Commit:
            return "commit";
        default:
            return "flush the pool";
    }
}

void FaultLoopWorkload::perform(const Step& step, Outcome& outcome) {
    MoxRecordManager* records = MoxRecordManager::getInstance();
    switch (step.kind) {
        case Step::CreateTables:
            for (TableId table : tables()) {
                records->createTable(table);
                createdTables.push_back(table);
            }
            break;
        case Step::Insert: {
            const std::string bytes = bytesOf(step.table, step.number);
            MoxRecord record(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size()));
            TupleId tid;
            records->insert(record, step.table, tid);
            outcome.rows.push_back({step.table, step.number, tid, Pending});
            break;
        }
        case Step::Commit:
            records->commit();
            MoxBufferManager::getInstance()->commit();
            MoxLockManager::getInstance()->releaseAll();
            MoxTransactionManager::getInstance()->startNewTransaction();
            for (Row& row : outcome.rows) {
                if (row.state == Pending) row.state = Committed;
            }
            outcome.tables.insert(outcome.tables.end(), createdTables.begin(), createdTables.end());
            createdTables.clear();
            break;
        case Step::FlushAll:
            MoxBufferManager::getInstance()->flushAll();
            for (Row& row : outcome.rows) {
                if (row.state == Committed) row.state = Durable;
            }
            break;
    }
}

FaultLoopWorkload::Outcome FaultLoopWorkload::run(const std::function<void(size_t)>& onStepDone) {
    Outcome outcome;
    for (size_t index = 0; index < steps().size(); ++index) {
        try {
            perform(steps()[index], outcome);
        } catch (const MoxException& exception) {
            outcome.failed = true;
            outcome.failedStep = index;
            outcome.failedStepName = nameOf(steps()[index]);
            outcome.code = exception.getErrorCode();
            std::ostringstream printed;
            exception.print_message(printed);
            // The message line: the one that ends with the SQLSTATE.
            std::string line;
            std::istringstream lines(printed.str());
            while (std::getline(lines, line)) {
                if (line.find("SQLSTATE=") != std::string::npos) outcome.message = line;
            }
            return outcome;
        }
        if (onStepDone) onStepDone(index);
    }
    return outcome;
}

void FaultLoopWorkload::Outcome::save(const std::string& fileName) const {
    std::ofstream out(fileName);
    out << "failed " << failed << ' ' << failedStep << ' ' << static_cast<int>(code) << '\n';
    out << "step " << failedStepName << '\n';
    out << "message " << message << '\n';
    for (TableId table : tables) out << "table " << table << '\n';
    for (const Row& row : rows) {
        out << "row " << row.table << ' ' << row.number << ' ' << row.tid.page << ' ' << unsigned(row.tid.slot) << ' '
            << stateNames[row.state] << '\n';
    }
}

FaultLoopWorkload::Outcome FaultLoopWorkload::Outcome::load(const std::string& fileName) {
    Outcome outcome;
    std::ifstream in(fileName);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "failed") {
            int code = 0;
            fields >> outcome.failed >> outcome.failedStep >> code;
            outcome.code = static_cast<MoxErrorCode>(code);
        } else if (kind == "step" || kind == "message") {
            std::string text = line.size() > kind.size() ? line.substr(kind.size() + 1) : std::string();
            (kind == "step" ? outcome.failedStepName : outcome.message) = text;
        } else if (kind == "table") {
            TableId table = 0;
            fields >> table;
            outcome.tables.push_back(table);
        } else if (kind == "row") {
            Row row = {};
            unsigned slot = 0;
            std::string state;
            fields >> row.table >> row.number >> row.tid.page >> slot >> state;
            row.tid.slot = static_cast<SlotId>(slot);
            row.state = state == "durable" ? Durable : state == "committed" ? Committed : Pending;
            outcome.rows.push_back(row);
        }
    }
    return outcome;
}
