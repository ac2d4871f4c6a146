// Costs of appending log entries and of analysing the log, each next to the
// plain file operation it is built on.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MoxLog.h"
#include "MoxSupport.h"

namespace {

const long logTargetBytes = 50L * 1024 * 1024;

// The entry's line, ready for a plain write.
std::string lineOf(MoxAbstractLogEntry& entry) {
    std::unique_ptr<char[]> form(entry.serialize());
    return std::string(form.get(), entry.getLength()) + "\n";
}

void compareAppend(const std::string& label, MoxAbstractLogEntry& entry, long iterations) {
    const std::string line = lineOf(entry);
    int file = open("plain.out", O_WRONLY | O_CREAT | O_APPEND, 0600);
    double plain = nanosecondsPerCall(iterations, [&] {
        if (write(file, line.data(), line.size()) != static_cast<ssize_t>(line.size())) perror("write");
    });
    close(file);
    MoxLogManager* manager = MoxLogManager::getInstance();
    double logged = nanosecondsPerCall(iterations, [&] { manager->createLogEntry(&entry); });
    printRatio(label, logged, plain);
}

void removeLogFiles() {
    for (int number = 1; std::filesystem::remove(std::to_string(number) + ".log"); ++number) {
    }
    std::filesystem::remove("plain.out");
}

// A restart on an empty directory, so that the log begins again at 1.log.
void restartWithoutLog() {
    delete MoxLogManager::getInstance();
    MoxLogManager::destroyLogFileHandling();
    removeLogFiles();
    MoxLogManager::initializeLogFileHandling();
}

void compareAnalysis(MoxIndexLogEntry& entry) {
    restartWithoutLog();
    long written = 0;
    while (written < logTargetBytes) {
        MoxLogManager::getInstance()->createLogEntry(&entry);
        written += entry.getLength() + 1;
    }
    double reading = nanosecondsPerCall(3, [] {
        std::vector<char> bytes;
        for (int number = 1;; ++number) {
            std::ifstream file(std::to_string(number) + ".log", std::ios::binary | std::ios::ate);
            if (!file.is_open()) break;
            bytes.resize(file.tellg());
            file.seekg(0);
            file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    });
    double analysing = nanosecondsPerCall(3, [] {
        MoxRecovery recovery;
        recovery.AnalyseLog(MoxRecovery::ALL);
        if (recovery.getIndexRedoListLength() == 0) fprintf(stderr, "no log analysed\n");
    });
    printRatio("AnalyseLog of a 50 MB log / reading its files", analysing, reading);
}

}  // namespace

int main() {
    BenchDatabase database;
    MoxLogManager::initializeLogFileHandling();
    MoxTransactionId transaction(getpid(), 1);

    const std::string after(100, 'a');
    TupleId primary{1, 0};
    MoxRecordLogEntry record(transaction, 1, nullptr, 0, after.data(), 100, MoxAbstractLogEntry::INSERT, &primary,
                             nullptr, nullptr);
    compareAppend("createLogEntry, record with 100-byte image / write", record, 20000);

    const std::string page(MOX_PAGE_SIZE, '\n');
    PageId pageId = 1;
    MoxIndexLogEntry index(transaction, &pageId, 32769, page.data(), MOX_PAGE_SIZE, page.data(), MOX_PAGE_SIZE,
                           MoxAbstractLogEntry::INTEGER_OPERATION);
    compareAppend("createLogEntry, index with two 4096-byte pages / write", index, 3000);

    compareAnalysis(index);
    removeLogFiles();
    delete MoxLogManager::getInstance();
    return 0;
}
