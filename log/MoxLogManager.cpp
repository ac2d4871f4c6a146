#include "MoxLogManager.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <memory>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include "MoxRecovery.h"
#include "../support/MoxDebug.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxFileIo.h"
#include "../support/MoxScopedLatch.h"
#include "../support/MoxScopedMemorySet.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

static const MoxFileIo::FileKind logFile = MoxIoFaults::LogFile;

MoxLogManager* MoxLogManager::instance = nullptr;
Uint32 MoxLogManager::appendsUntilKill = 0;

namespace {

// The log file of one append, closed if the append fails on the way.
struct LogFile {
    explicit LogFile(int descriptor) : descriptor(descriptor) {}
    ~LogFile() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    int release() {
        int released = descriptor;
        descriptor = -1;
        return released;
    }
    int descriptor;
};

}  // namespace

static const char* const recordColumns =
    "Logentry Type\t|LSN\t|Prev LSN\t|Trans Id\t|Prim TID\t|Old Sec TID\t|New Sec TID\t|SegID\t|BefImgLen\t|BefImg\t|"
    "AftImgLen\t|AftImg\t|Transtype\t";
static const char* const indexColumns =
    "Logentry Type\t|LSN\t|Prev LSN\t|Trans Id\t|Page ID\t|SegID\t|BefImgLen\t|BefImg\t|AftImgLen\t|AftImg\t|"
    "Transtype\t";

MoxLogManager::MoxLogManager() : logfilehandling(nullptr), sPrevLsn("0,0"), sPrevTransactionID("0,0") {
    MOX_TRACE_ENTRY();
    MoxMemoryManager* memoryManager = MoxMemoryManager::getMemoryManager();
    if (memoryManager == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    void* data = nullptr;
    memoryManager->connectToMemorySet(MoxMemoryManager::LogFileHandling, data);
    logfilehandling = static_cast<LogFileHandling*>(data);
    MoxDebug::registerFunction(debugLogPrint, nullptr, "LOG_PRINT", "");
}

MoxLogManager::~MoxLogManager() {
    MOX_TRACE_ENTRY();
    if (logfilehandling != nullptr) {
        try {
            MoxMemoryManager::getMemoryManager()->disconnectFromMemorySet(MoxMemoryManager::LogFileHandling);
        } catch (const MoxException& exception) {
            exception.SET_ERROR();
            MOX_TRACE_ERROR();
        }
    }
    if (instance == this) {
        instance = nullptr;
    }
}

MoxLogManager* MoxLogManager::getInstance() {
    MOX_TRACE_ENTRY();
    if (instance == nullptr) {
        instance = new MoxLogManager();
    }
    return instance;
}

void MoxLogManager::initializeLogFileHandling() {
    MOX_TRACE_ENTRY();
    MoxMemoryManager::getMemoryManager()->createMemorySet(MoxMemoryManager::LogFileHandling);
    MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
    LogFileHandling* initLogFileHandling = static_cast<LogFileHandling*>(connection.getData());
    THROW_RC(initLogFileHandling->latch.initialize());
    initLogFileHandling->filenumber = 1;
    connection.disconnect();
}

void MoxLogManager::destroyLogFileHandling() {
    MOX_TRACE_ENTRY();
    MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::LogFileHandling);
}

MoxLsn MoxLogManager::createLogEntry(MoxAbstractLogEntry* entry) {
    MOX_TRACE_ENTRY();
    MoxLsn lsn = appendLogEntry(entry);
    // The crash point of the tests comes after the log latch is released.
    if (appendsUntilKill > 0 && --appendsUntilKill == 0) {
        raise(SIGKILL);
    }
    return lsn;
}

MoxLsn MoxLogManager::lastLsnOf(const MoxTransactionId& transaction) const {
    MOX_TRACE_ENTRY();
    return transaction.dump() == sPrevTransactionID ? MoxLsn(sPrevLsn) : MoxLsn::dummyLSN();
}

void MoxLogManager::continueChain(const MoxTransactionId& transaction, const MoxLsn& lastLsn) {
    MOX_TRACE_ENTRY();
    sPrevTransactionID = transaction.dump();
    sPrevLsn = lastLsn.dump();
}

MoxLsn MoxLogManager::appendLogEntry(MoxAbstractLogEntry* entry) {
    MOX_TRACE_ENTRY();
    MoxScopedExclusiveLatch latch(logfilehandling->latch);
    // Opened for appending, unbuffered: the open, the size, one write and
    // the close are the system calls of an append, nothing else.
    std::string name;
    LogFile file(openLogFile(logfilehandling->filenumber, name));
    off_t size = 0;
    while ((size = MoxFileIo::size(file.descriptor, logFile)) > MOX_LOG_FILE_LIMIT) {
        closeLogFile(file.release(), name);
        ++logfilehandling->filenumber;
        file.descriptor = openLogFile(logfilehandling->filenumber, name);
    }
    if (size < 0) {
        fail(MOX_LOGM_FILE_OPEN_FAILED, "Fehler beim öffnen der Datei", name);
    }
    MoxLsn lsn(logfilehandling->filenumber, static_cast<Uint32>(size));
    entry->setLsn(lsn);
    std::string transactionId = entry->getTransactionID().dump();
    entry->setPrevLsn(transactionId == sPrevTransactionID ? sPrevLsn : std::string("0,0"));
    std::unique_ptr<char[]> line(entry->serialize());
    // The serialised form's spare byte takes the newline, so that the whole
    // line goes out in one write.
    size_t lineLength = static_cast<size_t>(entry->getLength()) + 1;
    line[lineLength - 1] = '\n';
    if (MoxFileIo::write(file.descriptor, line.get(), lineLength, logFile) != lineLength) {
        fail(MOX_LOGM_FILE_WRITE_FAILED, "Fehler beim Schreiben in Datei", name);
    }
    if (MoxFileIo::closeDescriptor(file.release(), logFile) != 0) {
        takeBackEntry(name, size);
        fail(MOX_LOGM_FILE_CLOSE_FAILED, "Fehler beim Schliessen der Datei", name);
    }
    sPrevLsn = lsn.dump();
    sPrevTransactionID = std::move(transactionId);
    return lsn;
}

int MoxLogManager::openLogFile(Uint16 number, std::string& name) {
    MOX_TRACE_ENTRY();
    name = std::to_string(number) + ".log";
    int descriptor = MoxFileIo::openForAppend(name.c_str(), logFile);
    if (descriptor < 0) {
        fail(MOX_LOGM_FILE_OPEN_FAILED, "Fehler beim öffnen der Datei", name);
    }
    return descriptor;
}

void MoxLogManager::closeLogFile(int descriptor, const std::string& name) {
    MOX_TRACE_ENTRY();
    if (MoxFileIo::closeDescriptor(descriptor, logFile) != 0) {
        fail(MOX_LOGM_FILE_CLOSE_FAILED, "Fehler beim Schliessen der Datei", name);
    }
}

void MoxLogManager::takeBackEntry(const std::string& name, long entryStart) {
    MOX_TRACE_ENTRY();
    if (MoxFileIo::truncate(name.c_str(), static_cast<off_t>(entryStart), logFile) != 0) {
        MOX_TRACE_NUMBER(20, "truncate errno", static_cast<Sint32>(errno));
    }
}

void MoxLogManager::fail(MoxErrorCode code, const char* message, const std::string& name) {
    MOX_TRACE_ENTRY();
    std::cerr << message;
    MOX_TRACE_STRING(10, name.c_str());
    THROW_wARGS1(code, name);
}

void MoxLogManager::debugLogPrint(const char* args) {
    MOX_TRACE_ENTRY();
    std::vector<std::string> words;
    std::string text(args != nullptr ? args : "");
    boost::split(words, text, boost::is_any_of(" "));
    if (words.size() == 2 && words[0] == "LISTLSN") {
        // Read like atoi, but without its undefined overflow.
        listLSN(static_cast<Uint16>(strtol(words[1].c_str(), nullptr, 10)));
    } else if (words.size() == 2 && words[0] == "SHOWLOG") {
        showLogRecords(MoxTransactionId(words[1]));
    } else if (words.size() == 3 && words[0] == "SHOWLOG") {
        showLogRecords(MoxLsn(words[1]), MoxLsn(words[2]));
    } else {
        std::cout << "Wrong Parameters" << std::endl;
    }
}

void MoxLogManager::showLogRecords(MoxTransactionId transactionId) {
    MOX_TRACE_ENTRY();
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::ALL);
    std::cout << "\n>>> DUMP <<<\nSHOW LOGRECORDS WITH DEFINED TRANSACTION ID\nTransaction ID: " << transactionId
              << "\nLOGRECORDS FOR RECORD MANAGER\n"
              << recordColumns << '\n';
    for (int i = 0; i < recovery.getRecordRedoListLength(); ++i) {
        MoxRecordLogEntry& entry = recovery.getRecordRedoList()[i];
        if (entry.getTransactionID() == transactionId) entry.dump();
    }
    std::cout << "\nLOGRECORDS FOR INDEX MANAGER\n" << indexColumns << '\n';
    for (int i = 0; i < recovery.getIndexRedoListLength(); ++i) {
        MoxIndexLogEntry& entry = recovery.getIndexRedoList()[i];
        if (entry.getTransactionID() == transactionId) entry.dump();
    }
    std::cout.flush();
}

void MoxLogManager::showLogRecords(MoxLsn first, MoxLsn last) {
    MOX_TRACE_ENTRY();
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::ALL);
    std::cout << "\n>>> DUMP <<<\nSHOW LOGRECORDS BETWEEN TWO LOG SEQUENCE NUMBERS\nFIRST LSN: " << first
              << "\nLAST LSN: " << last << "\nFor Record Manager : " << recordColumns
              << "\nFor Index Manager  : " << indexColumns << '\n';
    for (MoxAbstractLogEntry* entry : entriesInLsnOrder(recovery)) {
        MoxLsn lsn = entry->getLsn();
        if (!(lsn < first) && !(lsn > last)) entry->dump();
    }
    std::cout.flush();
}

void MoxLogManager::listLSN(Uint16 filenumber) {
    MOX_TRACE_ENTRY();
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::ALL);
    std::cout << "\n>>> DUMP <<<\nLogfile Nr." << filenumber << "\nLsn-Liste\n";
    for (MoxAbstractLogEntry* entry : entriesInLsnOrder(recovery)) {
        MoxLsn lsn = entry->getLsn();
        if (lsn.getFilenumber() == filenumber) std::cout << lsn << '\n';
    }
    std::cout.flush();
}

std::vector<MoxAbstractLogEntry*> MoxLogManager::entriesInLsnOrder(MoxRecovery& recovery) {
    MOX_TRACE_ENTRY();
    std::vector<MoxAbstractLogEntry*> records;
    std::vector<MoxAbstractLogEntry*> indexes;
    for (int i = 0; i < recovery.getRecordRedoListLength(); ++i) records.push_back(&recovery.getRecordRedoList()[i]);
    for (int i = 0; i < recovery.getIndexRedoListLength(); ++i) indexes.push_back(&recovery.getIndexRedoList()[i]);
    std::vector<MoxAbstractLogEntry*> merged;
    std::merge(records.begin(), records.end(), indexes.begin(), indexes.end(), std::back_inserter(merged),
               [](MoxAbstractLogEntry* a, MoxAbstractLogEntry* b) { return a->getLsn() < b->getLsn(); });
    return merged;
}
