// Log analysis over log files of arbitrary bytes: the analysis, the undo and
// rollback lists, the undo walks and the log listings must stay inside the
// bytes and never crash. Every entry the analysis takes must be one that
// the scanner reads back from the entry's own serialised line with the same
// fields: the analysis never invents an entry it could not have written.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "MoxFuzzEnvironment.h"
#include "MoxFuzzInput.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "log/MoxLogFileScanner.h"

namespace {

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "finding: %s\n", what);
    abort();
}

// Reads every image byte, so that an image that is not the entry's own
// memory shows.
unsigned touch(const char* bytes, int length) {
    unsigned sum = 0;
    for (int i = 0; i < length; ++i) sum += static_cast<unsigned char>(bytes[i]);
    return sum;
}

class TouchingRecordUndo : public MoxRecordUndoHandler {
  public:
    unsigned sum = 0;
    void removeRecord(const MoxRecordLogEntry& entry) override { visit(entry); }
    void restoreRecord(const MoxRecordLogEntry& entry) override { visit(entry); }
    void reinsertRecord(const MoxRecordLogEntry& entry) override { visit(entry); }

  private:
    void visit(const MoxRecordLogEntry& entry) {
        sum += touch(entry.getBeforeImage(), entry.getBefImgLength()) +
               touch(entry.getAfterImage(), entry.getAftImgLength());
    }
};

class TouchingIndexUndo : public MoxIndexUndoHandler {
  public:
    unsigned sum = 0;
    void restoreIntegerPage(const MoxIndexLogEntry& entry) override { visit(entry); }
    void restoreVarcharPage(const MoxIndexLogEntry& entry) override { visit(entry); }

  private:
    void visit(const MoxIndexLogEntry& entry) {
        sum += touch(entry.getBeforePage(), entry.getBpl()) + touch(entry.getAfterPage(), entry.getApl());
    }
};

// The entry's serialised line, scanned on its own, gives back its images.
// A copy is moved to the start of its file, where its LSN names its own
// position whatever its images hold.
template <typename Entry>
void checkRoundTrip(const Entry& entry, const char* (Entry::*before)() const, int (Entry::*beforeLength)() const,
                    const char* (Entry::*after)() const, int (Entry::*afterLength)() const) {
    Entry copy(entry);
    const Uint16 filenumber = entry.getLsn().getFilenumber();
    copy.setLsn(MoxLsn(filenumber, 0));
    std::unique_ptr<char[]> form(copy.serialize());
    std::string line(form.get(), static_cast<size_t>(copy.getLength()));
    line += '\n';
    MoxLogFileScanner scanner(filenumber, line.data(), line.size());
    MoxLogFileScanner::Fields fields;
    if (!scanner.next(fields)) finding("an analysed entry does not scan back from its own line");
    if (fields.beforeImage != std::string_view((entry.*before)(), static_cast<size_t>((entry.*beforeLength)())) ||
        fields.afterImage != std::string_view((entry.*after)(), static_cast<size_t>((entry.*afterLength)()))) {
        finding("an analysed entry scans back with other images");
    }
}

void writeLogFiles(const std::string& input) {
    for (size_t number = 1; number <= MoxLogFuzzInput::maxLogFiles + 1; ++number) {
        MoxFuzzEnvironment::removeFile(std::to_string(number) + ".log");
    }
    size_t start = 0;
    for (size_t number = 1; number <= MoxLogFuzzInput::maxLogFiles; ++number) {
        size_t end = input.find(MoxLogFuzzInput::logFileSeparator, start);
        if (end == std::string::npos || number == MoxLogFuzzInput::maxLogFiles) end = input.size();
        MoxFuzzEnvironment::writeFile(std::to_string(number) + ".log", input.substr(start, end - start));
        if (end == input.size()) break;
        start = end + MoxLogFuzzInput::logFileSeparator.size();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MoxFuzzEnvironment::enter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeLogFiles(std::string(reinterpret_cast<const char*>(data), size));
    try {
        MoxRecovery recovery;
        try {
            recovery.AnalyseLog(MoxRecovery::ALL);
        } catch (const MoxException&) {
            finding("the analysis of readable log files failed");
        }
        for (int i = 0; i < recovery.getRecordRedoListLength(); ++i) {
            checkRoundTrip(recovery.getRecordRedoList()[i], &MoxRecordLogEntry::getBeforeImage,
                           &MoxRecordLogEntry::getBefImgLength, &MoxRecordLogEntry::getAfterImage,
                           &MoxRecordLogEntry::getAftImgLength);
        }
        for (int i = 0; i < recovery.getIndexRedoListLength(); ++i) {
            checkRoundTrip(recovery.getIndexRedoList()[i], &MoxIndexLogEntry::getBeforePage, &MoxIndexLogEntry::getBpl,
                           &MoxIndexLogEntry::getAfterPage, &MoxIndexLogEntry::getApl);
        }
        recovery.makeUndoLists(MoxRecovery::ALL);
        TouchingRecordUndo records;
        TouchingIndexUndo indexes;
        MoxRecovery::undoRecordEntries(recovery.getRecordUndoList(), recovery.getRecordUndoListLength(), records);
        MoxRecovery::undoIndexEntries(recovery.getIndexUndoList(), recovery.getIndexUndoListLength(), indexes);
        // The rollback lists of the first transaction of each kind.
        if (recovery.getRecordRedoListLength() > 0) {
            recovery.makeRollbackLists(MoxRecovery::RECORD, recovery.getRecordRedoList()[0].getTransactionID());
            MoxRecovery::undoRecordEntries(recovery.getRecordRollbackList(), recovery.getRecordRollbackListLength(),
                                           records);
        }
        if (recovery.getIndexRedoListLength() > 0) {
            recovery.makeRollbackLists(MoxRecovery::INDEX, recovery.getIndexRedoList()[0].getTransactionID());
            MoxRecovery::undoIndexEntries(recovery.getIndexRollbackList(), recovery.getIndexRollbackListLength(),
                                          indexes);
        }
        // The listing prints every entry in its dump format.
        MoxLogManager::showLogRecords(MoxLsn(0, 0), MoxLsn(MOX_MAX_UINT16, MOX_MAX_UINT32));
    } catch (const MoxException&) {
        // A clear error is an answer; only a crash or a sanitizer report is a finding.
    }
    return 0;
}
