#include "MoxRecovery.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <utility>

#include "../support/MoxException.h"
#include "../support/MoxFileIo.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

static const MoxFileIo::FileKind logFile = MoxIoFaults::LogFile;

namespace {

// A number of the scanner's checked forms: an optional minus sign and
// digits, read like C's atoi but saturating instead of overflowing.
int numberOf(std::string_view text) {
    bool negative = !text.empty() && text[0] == '-';
    long long value = 0;
    for (char digit : text.substr(negative ? 1 : 0)) {
        value = std::min<long long>(value * 10 + (digit - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    return static_cast<int>(negative ? -value : std::min<long long>(value, INT_MAX));
}

// "a,b" as two numbers.
std::pair<int, int> numberPairOf(std::string_view text) {
    size_t comma = text.find(',');
    return {numberOf(text.substr(0, comma)), numberOf(text.substr(comma + 1))};
}

MoxTransactionId transactionOf(std::string_view text) {
    std::pair<int, int> pair = numberPairOf(text);
    return MoxTransactionId(pair.first, static_cast<Uint16>(pair.second));
}

MoxLsn lsnOf(std::string_view text) {
    std::pair<int, int> pair = numberPairOf(text);
    return MoxLsn(static_cast<Uint16>(pair.first), static_cast<Uint32>(pair.second));
}

// "page,slot"; false (no tuple id) when either number is missing.
bool tupleIdOf(std::string_view text, TupleId& tupleId) {
    size_t comma = text.find(',');
    if (comma == std::string_view::npos || comma == 0 || comma + 1 == text.size()) return false;
    tupleId.page = static_cast<PageId>(numberOf(text.substr(0, comma)));
    tupleId.slot = static_cast<SlotId>(numberOf(text.substr(comma + 1)));
    return true;
}

// The entries of the redo array whose transaction passes `belongs`, newest first.
template <typename Entry, typename Predicate>
std::vector<Entry*> newestFirst(std::vector<Entry>& redo, Predicate belongs) {
    std::vector<Entry*> list;
    for (auto entry = redo.rbegin(); entry != redo.rend(); ++entry) {
        if (belongs(entry->getTransactionID())) list.push_back(&*entry);
    }
    return list;
}

typedef std::pair<Sint32, Uint16> TransactionKey;

TransactionKey keyOf(const MoxTransactionId& transactionId) {
    return {transactionId.getProcessId(), transactionId.getUniqueCount()};
}

// The transactions that committed (in either kind) or rolled back this kind.
template <typename Entry>
std::set<TransactionKey> finished(const std::vector<Entry>& redo, const std::set<TransactionKey>& committed) {
    std::set<TransactionKey> ended = committed;
    for (const Entry& entry : redo) {
        if (entry.getTransactionType() == MoxAbstractLogEntry::ROLLBACK) {
            ended.insert(keyOf(entry.getTransactionID()));
        }
    }
    return ended;
}

// The entries of the transactions that have not finished, newest first.
template <typename Entry>
std::vector<Entry*> unfinished(std::vector<Entry>& redo, const std::set<TransactionKey>& committed) {
    const std::set<TransactionKey> ended = finished(redo, committed);
    return newestFirst(redo, [&ended](const MoxTransactionId& id) { return ended.count(keyOf(id)) == 0; });
}

}  // namespace

void MoxRecovery::clearLists() {
    oRecordRedo.clear();
    oIndexRedo.clear();
    oRecordRollback.clear();
    oIndexRollback.clear();
    oRecordUndo.clear();
    oIndexUndo.clear();
    committed.clear();
}

bool MoxRecovery::AnalyseLog(rollbackComponent component) {
    MOX_TRACE_ENTRY();
    clearLists();
    for (Uint32 number = 1; number <= MOX_MAX_UINT16; ++number) {
        std::string bytes;
        if (!readLogFile(std::to_string(number) + ".log", bytes)) {
            break;
        }
        analyseFile(static_cast<Uint16>(number), bytes.data(), bytes.size(), component);
    }
    MOX_TRACE_NUMBER(10, "record entries", static_cast<Uint32>(oRecordRedo.size()));
    MOX_TRACE_NUMBER(11, "index entries", static_cast<Uint32>(oIndexRedo.size()));
    return true;
}

bool MoxRecovery::AnalyseTransaction(rollbackComponent component, MoxTransactionId transactionId, MoxLsn lastLsn) {
    MOX_TRACE_ENTRY();
    return readChain(component, transactionId, lastLsn) || AnalyseLog(component);
}

bool MoxRecovery::readChain(rollbackComponent component, MoxTransactionId transactionId, MoxLsn lastLsn) {
    MOX_TRACE_ENTRY();
    clearLists();
    std::ifstream file;
    Uint16 openNumber = 0;
    std::string bytes;
    for (MoxLsn lsn = lastLsn; !(lsn == MoxLsn::dummyLSN());) {
        if (lsn.getFilenumber() != openNumber) {
            file.close();
            file.clear();
            MoxFileIo::open(file, (std::to_string(lsn.getFilenumber()) + ".log").c_str(),
                            std::ios::in | std::ios::binary, logFile);
            openNumber = lsn.getFilenumber();
        }
        // An entry is a few kilobytes at most; a window that cuts it short
        // is doubled until the entry or the file ends.
        MoxLogFileScanner::Fields fields;
        bool found = false;
        for (size_t window = 16384; file.is_open(); window *= 2) {
            bytes.resize(window);
            file.clear();
            file.seekg(lsn.getOffset());
            MoxFileIo::read(file, bytes.data(), static_cast<std::streamsize>(window), logFile);
            const size_t got = static_cast<size_t>(file.gcount());
            MoxLogFileScanner scanner(lsn.getFilenumber(), bytes.data(), got, lsn.getOffset());
            found = scanner.entryAt(0, fields);
            if (found || got < window) break;
        }
        if (!found || !(transactionOf(fields.transactionId) == transactionId)) {
            return false;
        }
        takeEntry(fields, component);
        // Each step goes back in the log, so that a damaged chain cannot loop.
        const MoxLsn previous = lsnOf(fields.prevLsn);
        if (!(previous < lsn)) {
            return false;
        }
        lsn = previous;
    }
    std::reverse(oRecordRedo.begin(), oRecordRedo.end());
    std::reverse(oIndexRedo.begin(), oIndexRedo.end());
    return true;
}

bool MoxRecovery::readLogFile(const std::string& name, std::string& bytes) {
    MOX_TRACE_ENTRY();
    struct stat status;
    if (stat(name.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        MOX_TRACE_NUMBER(20, "stat errno", static_cast<Sint32>(errno));
        THROW_wARGS1(MOX_LOGM_FILE_OPEN_FAILED, name);
    }
    // A name that is no file (a directory) holds no entries.
    if (!S_ISREG(status.st_mode)) {
        return true;
    }
    std::ifstream file;
    MoxFileIo::open(file, name.c_str(), std::ios::in | std::ios::binary, logFile);
    if (!file.is_open()) {
        MOX_TRACE_NUMBER(21, "open errno", static_cast<Sint32>(errno));
        THROW_wARGS1(MOX_LOGM_FILE_OPEN_FAILED, name);
    }
    // Read to the end rather than trust a size, which may change meanwhile.
    char chunk[65536];
    do {
        MoxFileIo::read(file, chunk, sizeof(chunk), logFile);
        if (file.bad()) {
            MOX_TRACE_NUMBER(22, "read errno", static_cast<Sint32>(errno));
            THROW_wARGS1(MOX_LOGM_FILE_OPEN_FAILED, name);
        }
        bytes.append(chunk, static_cast<size_t>(file.gcount()));
    } while (file);
    return true;
}

void MoxRecovery::analyseFile(Uint16 filenumber, const char* data, size_t size, rollbackComponent component) {
    MOX_TRACE_ENTRY();
    MoxLogFileScanner scanner(filenumber, data, size);
    MoxLogFileScanner::Fields fields;
    while (scanner.next(fields)) {
        takeEntry(fields, component);
    }
}

void MoxRecovery::takeEntry(const MoxLogFileScanner::Fields& fields, rollbackComponent component) {
    if (fields.kind == 'R' && component != INDEX) {
        addRecordEntry(fields);
    } else if (fields.kind == 'I' && component != RECORD) {
        addIndexEntry(fields);
    }
    if ((fields.kind == 'R' || fields.kind == 'I') && numberOf(fields.type) == MoxAbstractLogEntry::COMMIT) {
        committed.insert(keyOf(transactionOf(fields.transactionId)));
    }
}

void MoxRecovery::addRecordEntry(const MoxLogFileScanner::Fields& fields) {
    MOX_TRACE_ENTRY();
    TupleId ids[3];
    const TupleId* present[3] = {nullptr, nullptr, nullptr};
    for (int i = 0; i < 3; ++i) {
        if (tupleIdOf(fields.ids[i], ids[i])) present[i] = &ids[i];
    }
    oRecordRedo.emplace_back();
    MoxRecordLogEntry& entry = oRecordRedo.back();
    entry.setFields(transactionOf(fields.transactionId), static_cast<SegmentId>(numberOf(fields.segment)),
                    fields.beforeImage.data(), static_cast<int>(fields.beforeImage.size()), fields.afterImage.data(),
                    static_cast<int>(fields.afterImage.size()), numberOf(fields.type), present[0], present[1],
                    present[2]);
    entry.setLsn(lsnOf(fields.lsn));
    entry.setPrevLsn(lsnOf(fields.prevLsn));
}

void MoxRecovery::addIndexEntry(const MoxLogFileScanner::Fields& fields) {
    MOX_TRACE_ENTRY();
    PageId page = static_cast<PageId>(numberOf(fields.ids[0]));
    oIndexRedo.emplace_back();
    MoxIndexLogEntry& entry = oIndexRedo.back();
    entry.setFields(transactionOf(fields.transactionId), fields.ids[0].empty() ? nullptr : &page,
                    static_cast<SegmentId>(numberOf(fields.segment)), fields.beforeImage.data(),
                    static_cast<int>(fields.beforeImage.size()), fields.afterImage.data(),
                    static_cast<int>(fields.afterImage.size()), numberOf(fields.type));
    entry.setLsn(lsnOf(fields.lsn));
    entry.setPrevLsn(lsnOf(fields.prevLsn));
}

bool MoxRecovery::makeRollbackLists(rollbackComponent component, MoxTransactionId transactionId) {
    MOX_TRACE_ENTRY();
    auto ofTransaction = [&transactionId](const MoxTransactionId& id) { return id == transactionId; };
    if (component == INDEX) {
        oIndexRollback = newestFirst(oIndexRedo, ofTransaction);
    } else if (component == RECORD) {
        oRecordRollback = newestFirst(oRecordRedo, ofTransaction);
    }
    return true;
}

bool MoxRecovery::makeUndoLists(rollbackComponent component) {
    MOX_TRACE_ENTRY();
    if (component != INDEX) {
        std::cout << std::endl;
        oRecordUndo = unfinished(oRecordRedo, committed);
    }
    if (component != RECORD) {
        std::cout << std::endl;
        oIndexUndo = unfinished(oIndexRedo, committed);
    }
    return true;
}

bool MoxRecovery::hasEnded(rollbackComponent component, MoxTransactionId transactionId) const {
    MOX_TRACE_ENTRY();
    const std::set<TransactionKey> ended =
        component == RECORD ? finished(oRecordRedo, committed) : finished(oIndexRedo, committed);
    return ended.count(keyOf(transactionId)) != 0;
}

bool MoxRecovery::rollbackTransaction(rollbackComponent component, MoxTransactionId transactionId) {
    MOX_TRACE_ENTRY();
    return AnalyseLog(component) && makeRollbackLists(component, transactionId);
}

bool MoxRecovery::recoverDb(rollbackComponent component) {
    MOX_TRACE_ENTRY();
    return AnalyseLog(component) && makeUndoLists(component);
}

void MoxRecovery::undoRecordEntries(MoxRecordLogEntry** list, int length, MoxRecordUndoHandler& handler) {
    MOX_TRACE_ENTRY();
    for (int i = 0; i < length; ++i) {
        const MoxRecordLogEntry& entry = *list[i];
        switch (entry.getTransactionType()) {
            case MoxAbstractLogEntry::INSERT:
            case MoxAbstractLogEntry::COMPENSATE_INSERT:
                handler.removeRecord(entry);
                break;
            case MoxAbstractLogEntry::UPDATE:
            case MoxAbstractLogEntry::COMPENSATE_UPDATE:
                handler.restoreRecord(entry);
                break;
            case MoxAbstractLogEntry::DELETE:
            case MoxAbstractLogEntry::COMPENSATE_DELETE:
                handler.reinsertRecord(entry);
                break;
            default:
                break;
        }
    }
}

void MoxRecovery::undoIndexEntries(MoxIndexLogEntry** list, int length, MoxIndexUndoHandler& handler) {
    MOX_TRACE_ENTRY();
    for (int i = 0; i < length; ++i) {
        const MoxIndexLogEntry& entry = *list[i];
        int type = entry.getTransactionType();
        if (type >= MoxAbstractLogEntry::INTEGER_OPERATION && type <= MoxAbstractLogEntry::INTEGER_UNDO) {
            handler.restoreIntegerPage(entry);
        } else if (type >= MoxAbstractLogEntry::VARCHAR_OPERATION && type <= MoxAbstractLogEntry::VARCHAR_UNDO) {
            handler.restoreVarcharPage(entry);
        }
    }
}
