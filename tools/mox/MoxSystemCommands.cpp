#include "MoxSystemCommands.h"

#include <iostream>
#include <set>
#include <sstream>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "MoxCommandTransaction.h"
#include "MoxTableRows.h"
#include "MoxTextTable.h"
#include "MoxTransaction.h"

namespace {

// Every manager whose construction registers debug commands.
void createManagers() {
    MoxBufferManager::getInstance();
    MoxLockManager::getInstance();
    MoxLogManager::getInstance();
    MoxTransactionManager::getInstance();
    MoxRecordManager::getInstance();
    MoxIndexManager::getInstance();
}

// The index debug commands work on indexes open in the process: every index
// of every table is opened (the catalog's own are open with the catalog).
void openAllIndexes() {
    MoxTableRows catalog("SYSTABLES");
    const Uint16 nameColumn = catalog.columnNumber("TABLE_NAME");
    for (const auto& [tid, row] : catalog.select(MoxRowSelection(), false)) {
        MoxTableRows table(row[nameColumn].getText());
    }
}

// What restart recovery will find in the log: the entries of each kind and
// the transactions without an end, whose changes it undoes.
struct LogSummary {
    int recordEntries = 0;
    int indexEntries = 0;
    int recordUndo = 0;
    int indexUndo = 0;
    std::set<std::string> unfinished;
};

LogSummary summarizeLog() {
    // makeUndoLists writes a blank line per kind; the summary prints its own.
    std::ostringstream ignored;
    std::streambuf* previous = std::cout.rdbuf(ignored.rdbuf());
    LogSummary summary;
    try {
        MoxRecovery analysis;
        analysis.AnalyseLog(MoxRecovery::ALL);
        analysis.makeUndoLists(MoxRecovery::ALL);
        summary.recordEntries = analysis.getRecordRedoListLength();
        summary.indexEntries = analysis.getIndexRedoListLength();
        summary.recordUndo = analysis.getRecordUndoListLength();
        summary.indexUndo = analysis.getIndexUndoListLength();
        for (int i = 0; i < summary.recordUndo; ++i) {
            summary.unfinished.insert(analysis.getRecordUndoList()[i]->getTransactionID().dump());
        }
        for (int i = 0; i < summary.indexUndo; ++i) {
            summary.unfinished.insert(analysis.getIndexUndoList()[i]->getTransactionID().dump());
        }
    } catch (...) {
        std::cout.rdbuf(previous);
        throw;
    }
    std::cout.rdbuf(previous);
    return summary;
}

}  // namespace

int MoxSystemCommands::start() {
    try {
        MoxSystem::start();
    } catch (const MoxException& failure) {
        failure.print(std::cerr);
        return 1;
    }
    std::cout << "The system was started successfully. SQLSTATE=00000" << std::endl;
    return 0;
}

int MoxSystemCommands::stop(const MoxArguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    if (!words.empty() && words[0] != "force" && words[0] != "FORCE") {
        throw MoxRefusal("stop: the only argument is force (or FORCE), not '" + words[0] + "'");
    }
    // As moxstop: a blank line first, whatever follows.
    std::cout << std::endl;
    try {
        MoxSystem::stop(!words.empty());
        MoxSystem::stopAllManagers();
    } catch (const MoxException& failure) {
        failure.print(std::cerr);
        return 1;
    }
    std::cout << "The system was stopped successfully. SQLSTATE=00000" << std::endl;
    return 0;
}

int MoxSystemCommands::show(const MoxArguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    return MoxCommandTransaction::run(
        [&] {
            createManagers();
            const std::list<MoxDebugData>& functions = MoxDebug::getFunctions();
            if (words.empty()) {
                MoxTextTable list({"command", "description"});
                for (const MoxDebugData& function : functions) list.add({function.name, function.doc});
                list.print(std::cout);
                return;
            }
            const auto found = std::find_if(functions.begin(), functions.end(), [&words](const MoxDebugData& function) {
                return function.func != nullptr && words[0] == function.name;
            });
            if (found == functions.end()) {
                throw MoxRefusal("show: no debug command named " + words[0] + " (mox show lists them)");
            }
            if (words[0].rfind("index_", 0) == 0) openAllIndexes();
            std::string argument;
            for (size_t i = 1; i < words.size(); ++i) argument += (i > 1 ? " " : "") + words[i];
            found->func(argument.c_str());
            std::cout.flush();
        },
        std::cerr);
}

int MoxSystemCommands::recover(const MoxArguments& arguments) {
    if (arguments.has("dead")) return recoverDead();
    try {
        const LogSummary summary = summarizeLog();
        MoxSystem::recover();
        std::cout << "Recovery done: " << summary.recordEntries << " record and " << summary.indexEntries
                  << " index log entries examined; changes that pages lacked were redone." << std::endl;
        std::cout << "Undone: " << summary.recordUndo << " record and " << summary.indexUndo << " index changes of "
                  << summary.unfinished.size() << " transaction" << (summary.unfinished.size() == 1 ? "" : "s")
                  << " without an end";
        for (const std::string& transaction : summary.unfinished) std::cout << " " << transaction;
        std::cout << "." << std::endl;
    } catch (const MoxException& failure) {
        failure.print(std::cerr);
        return 1;
    }
    return 0;
}

int MoxSystemCommands::recoverDead() {
    try {
        MoxSystem::recoverDeadTransactions().print(std::cout);
    } catch (const MoxException& failure) {
        failure.print(std::cerr);
        return 1;
    }
    return 0;
}

void MoxSystemCommands::addTo(MoxCommandLine& commandLine) {
    commandLine.add({"start",
                     "",
                     "creates the shared memory sets and, for a new database, its catalog",
                     "",
                     0,
                     0,
                     {},
                     [](const MoxArguments&) { return start(); }});
    commandLine.add({"stop",
                     "[force]",
                     "stops the system as moxstop does",
                     "Without force it refuses while a lock is held or a page is fixed.",
                     0,
                     1,
                     {},
                     stop});
    commandLine.add({"show",
                     "[COMMAND [ARGUMENTS]]",
                     "runs a registered debug command; lists them without one",
                     "For example: mox show BM_STATS, mox show table_all info PEOPLE,\n"
                     "mox show index_leafs info 5, mox show LM_STATS all transactions.",
                     0,
                     MoxCommand::unlimited,
                     {},
                     show});
    commandLine.add({"recover",
                     "[--dead]",
                     "restart recovery after a crash: redoes and undoes from the log",
                     "After a crash: every process killed, mox stop force, mox start, then mox recover,\n"
                     "before any other work. Prints where the redo of records and indexes starts and\n"
                     "what it undid.\n"
                     "With --dead, while the system runs: rolls back the transactions of processes\n"
                     "that were killed, releases their locks and clears latches their holders left.",
                     0,
                     0,
                     {{"dead", 0, false, "", "recover what dead processes left behind, others working on"}},
                     recover});
}
