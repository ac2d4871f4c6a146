#include "MoxLockManager.h"

#include <algorithm>
#include <functional>
#include <iostream>

#include <boost/algorithm/string.hpp>

#include "MoxLockListPrinter.h"
#include "MoxLockWait.h"
#include "../support/MoxDebug.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxProcess.h"
#include "../support/MoxScopedLatch.h"
#include "../support/MoxScopedMemorySet.h"
#include "../support/MoxTrace.h"
#include "../support/profiling/ScopedTimer.h"
#include "../transaction/MoxTransactionManager.h"

static const MoxComponent componentId = LockManager;

using MoxLockManagerProfiling::GetReleaseTime;
using MoxLockManagerProfiling::GetRequestTime;
using MoxLockManagerProfiling::LockManagerTimers;
using MoxLockManagerProfiling::Profiler;
typedef support::ScopedTimer<Profiler, LockManagerTimers> ScopedLockTimer;

namespace {

const MoxLockObject databaseObject = {MoxLockManager::NO_SEG, MoxLockManager::NO_PAGE, MoxLockManager::NO_SLOT};

bool isDatabaseObject(const MoxLockEntry& entry) {
    return entry.segmentId == databaseObject.segment && entry.pageId == databaseObject.page &&
           entry.slotId == databaseObject.slot;
}

MoxLockObject segmentOf(const MoxLockObject& object) {
    return {object.segment, MoxLockManager::NO_PAGE, MoxLockManager::NO_SLOT};
}

MoxLockObject pageOf(const MoxLockObject& object) {
    return {object.segment, object.page, MoxLockManager::NO_SLOT};
}

MoxLockManager::LockType intentionOf(MoxLockManager::LockType type) {
    switch (type) {
        case MoxLockManager::SharedLock:
            return MoxLockManager::IntentionalSharedLock;
        case MoxLockManager::ExclusiveLock:
            return MoxLockManager::IntentionalExclusiveLock;
        default:
            return type;
    }
}

// The type word of a failed request: a lock request is shared or else
// exclusive, whatever type it asked for; an intention request names its
// intention.
const char* requestWord(MoxLockManager::LockType type) {
    return type == MoxLockManager::SharedLock ? "shared" : "exclusive";
}

const char* intentionWord(MoxLockManager::LockType intention) {
    return intention == MoxLockManager::IntentionalSharedLock ? "intentionalShared" : "intentionalExclusive";
}

// The message tokens that name an object: the segment, and the page and the
// slot where they are given; absent ones stay empty.
std::vector<std::string> objectTokens(const MoxLockObject& object) {
    std::vector<std::string> tokens = {std::to_string(object.segment)};
    if (object.page != MoxLockManager::NO_PAGE) {
        tokens.push_back(std::to_string(object.page));
        if (object.slot != MoxLockManager::NO_SLOT) {
            tokens.push_back(std::to_string(static_cast<unsigned>(object.slot)));
        }
    }
    tokens.resize(4);
    return tokens;
}

// The time-out of a request on the object, the type word first.
std::vector<std::string> timeOutTokens(const char* word, const MoxLockObject& object) {
    std::vector<std::string> tokens = objectTokens(object);
    tokens.insert(tokens.begin(), word);
    tokens.resize(4);
    return tokens;
}

}  // namespace

#define THROW_TOKENS(rc, tokens) THROW_wARGS4((rc), (tokens)[0], (tokens)[1], (tokens)[2], (tokens)[3])

MoxLockManager* MoxLockManager::instance = nullptr;

MoxLockManager* MoxLockManager::getInstance() {
    if (instance == nullptr) {
        instance = new MoxLockManager();
    }
    return instance;
}

MoxLockListLayout* MoxLockManager::connect() {
    MOX_TRACE_ENTRY();
    MoxMemoryManager* memoryManager = MoxMemoryManager::getMemoryManager();
    if (memoryManager == nullptr) {
        THROW(MOX_INTERNAL_FAIL);
    }
    void* data = nullptr;
    memoryManager->connectToMemorySet(MoxMemoryManager::LockList, data);
    return static_cast<MoxLockListLayout*>(data);
}

MoxLockManager::MoxLockManager() : layout(connect()), list(*layout), ownerProcess(MoxProcess::id()) {
    MOX_TRACE_ENTRY();
    MoxDebug::registerFunction(printStatistics, nullptr, "LM_STATS", "");
}

MoxLockManager::~MoxLockManager() {
    MOX_TRACE_ENTRY();
    // A destructor records its failures; each step runs regardless.
    auto recordingFailure = [](const std::function<void()>& step) {
        try {
            step();
        } catch (const MoxException& exception) {
            exception.SET_ERROR();
            MOX_TRACE_ERROR();
        }
    };
    recordingFailure([this] { releaseAll(); });
    recordingFailure([] { MoxMemoryManager::getMemoryManager()->disconnectFromMemorySet(MoxMemoryManager::LockList); });
    usedEntries.clear();
    ownLocks.clear();
    instance = nullptr;
}

void MoxLockManager::initializeLockList() {
    MOX_TRACE_ENTRY();
    MoxMemoryManager::getMemoryManager()->createMemorySet(MoxMemoryManager::LockList);
    MoxScopedMemorySet connection(MoxMemoryManager::LockList);
    MoxLockListLayout* created = static_cast<MoxLockListLayout*>(connection.getData());
    THROW_RC(created->header.latch.initialize());
    MoxLockList::initialize(*created);
    connection.disconnect();
}

void MoxLockManager::destroyLockList() {
    MOX_TRACE_ENTRY();
    MoxScopedMemorySet::destroyLatchedSet(MoxMemoryManager::LockList);
}

void MoxLockManager::isLockListInUse(bool& inUse) {
    MOX_TRACE_ENTRY();
    inUse = false;
    MoxScopedMemorySet::workIfExists(MoxMemoryManager::LockList, [&inUse](void* data) {
        inUse = static_cast<const MoxLockListLayout*>(data)->header.countEntry != 0;
    });
}

MoxTransactionId MoxLockManager::currentTransaction() {
    pid_t self = MoxProcess::id();
    if (self != ownerProcess) {
        usedEntries.clear();  // the parent's locks: not this process's to release
        ownLocks.clear();
        ownerProcess = self;
    }
    return MoxTransactionManager::getInstance()->getCurrentTransactionID();
}

void MoxLockManager::requestSegment(SegmentId segment, LockType type, bool forceRequest) {
    MOX_TRACE_ENTRY();
    request(type, {segment, NO_PAGE, NO_SLOT}, forceRequest, false);
}

void MoxLockManager::requestPage(SegmentId segment, PageId page, LockType type, bool forceRequest) {
    MOX_TRACE_ENTRY();
    request(type, {segment, page, NO_SLOT}, forceRequest, false);
}

void MoxLockManager::requestSlot(SegmentId segment, PageId page, SlotId slot, LockType type, bool forceRequest) {
    MOX_TRACE_ENTRY();
    request(type, {segment, page, slot}, forceRequest, false);
}

bool MoxLockManager::tryRequest(LockType type, const MoxLockObject& object, bool forceRequest) {
    MOX_TRACE_ENTRY();
    // A refused attempt answers false without an exception: with several
    // inserters on one table refusals are the normal case. The time-outs of
    // the database gate and of the intention locks still arrive as one.
    try {
        return request(type, object, forceRequest, true);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_LM_LOCK_TIME_OUT) {
            throw;
        }
    }
    return false;
}

bool MoxLockManager::tryRequestSegment(SegmentId segment, LockType type, bool forceRequest) {
    MOX_TRACE_ENTRY();
    return tryRequest(type, {segment, NO_PAGE, NO_SLOT}, forceRequest);
}

bool MoxLockManager::tryRequestPage(SegmentId segment, PageId page, LockType type, bool forceRequest) {
    MOX_TRACE_ENTRY();
    return tryRequest(type, {segment, page, NO_SLOT}, forceRequest);
}

bool MoxLockManager::tryRequestSlot(SegmentId segment, PageId page, SlotId slot, LockType type, bool forceRequest) {
    MOX_TRACE_ENTRY();
    return tryRequest(type, {segment, page, slot}, forceRequest);
}

bool MoxLockManager::request(LockType type, const MoxLockObject& object, bool forceRequest, bool tryLock) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_DATA1(1, sizeof(object), &object);
    profiler.setElementName(GetRequestTime, MoxLockManagerProfiling::GetRequestTimeName, support::profiling::Timer());
    ScopedLockTimer timed(profiler, GetRequestTime);
    MoxLockWait wait;
    MoxTransactionId transaction = currentTransaction();
    RequestWaiting waiting;
    try {
        // The database gate is asked in the first hold of the latch, which
        // the request needs anyway; only a database lock in force makes it a
        // step of its own, after which the request starts again.
        bool gateChecked = false;
        while (!requestStages(type, object, transaction, forceRequest, tryLock, wait, waiting, gateChecked)) {
            if (!passDatabaseGate(type, object, transaction, forceRequest, tryLock, wait, waiting)) {
                return true;
            }
            gateChecked = true;
        }
        if (waiting.granted) {
            return true;
        }
        if (!tryLock) {
            MoxScopedExclusiveLatch latch(layout->header.latch);
            giveUp(object, transaction, intentionOf(type), waiting);
        }
    } catch (const MoxException&) {
        forgetWaitingAfterFailure(transaction, waiting);
        throw;
    }
    if (tryLock) {
        return false;
    }
    THROW_TOKENS(MOX_LM_LOCK_TIME_OUT, timeOutTokens(requestWord(type), object));
}

bool MoxLockManager::requestStages(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction,
                                   bool forceRequest, bool tryLock, MoxLockWait& wait, RequestWaiting& waiting,
                                   bool& gateChecked) {
    MOX_TRACE_ENTRY();
    if (object.page != NO_PAGE) {
        if (!requestIntention(intentionOf(type), segmentOf(object), transaction, gateChecked)) {
            return false;
        }
        if (object.slot != NO_SLOT) {
            requestIntention(intentionOf(type), pageOf(object), transaction, gateChecked);
        }
    }
    while (true) {
        {
            MoxScopedExclusiveLatch latch(layout->header.latch);
            if (!passesGateInThisHold(gateChecked)) {
                return false;
            }
            if (attemptRequest(type, object, transaction, forceRequest, waiting)) {
                forgetWaiting(transaction, waiting);
                waiting.granted = true;
                return true;
            }
            // A try ends in the hold of its one attempt: its waiting entry
            // is never seen by another process, which might take it for a
            // cycle, and its end takes no hold of its own.
            if (tryLock) {
                giveUp(object, transaction, intentionOf(type), waiting);
                return true;
            }
        }
        if (wait.expired()) {
            return true;
        }
        wait.pause();
    }
}

void MoxLockManager::giveUp(const MoxLockObject& object, const MoxTransactionId& transaction, LockType intention,
                            RequestWaiting& waiting) {
    releaseIntentions(object, transaction, intention);
    forgetWaiting(transaction, waiting);
}

bool MoxLockManager::passesGateInThisHold(bool& gateChecked) const {
    if (!gateChecked) {
        if (layout->header.dbRequestType != DBNone) {
            return false;
        }
        gateChecked = true;
    }
    return true;
}

bool MoxLockManager::passDatabaseGate(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction,
                                      bool forceRequest, bool tryLock, MoxLockWait& wait, RequestWaiting& waiting) {
    MOX_TRACE_ENTRY();
    while (true) {
        {
            MoxScopedExclusiveLatch latch(layout->header.latch);
            Uint32 dbRequestType = layout->header.dbRequestType;
            bool heldBack = (dbRequestType == DBExclusive || (dbRequestType == DBShared && type == ExclusiveLock)) &&
                            !list.existsLockForTransaction(transaction);
            if (!heldBack || wait.expired()) {
                // Without a database lock in force there is no database entry
                // to decide, and the normal request need not search for one.
                if (dbRequestType == DBNone || forceRequest || list.existsEntry(databaseObject) == LIST_END) {
                    return true;
                }
                if (type == ExclusiveLock && list.existsLockType(transaction, SharedLock, databaseObject) != LIST_END) {
                    return true;
                }
                if (list.existsLockType(transaction, ExclusiveLock, databaseObject) != LIST_END) {
                    forgetWaiting(transaction, waiting);
                    return false;
                }
                THROW_TOKENS(MOX_LM_LOCK_TIME_OUT, timeOutTokens(requestWord(type), object));
            }
            Uint32 holder = list.existsEntryOfOtherTransaction(transaction, databaseObject);
            if (holder != LIST_END && waiting.lockEntries.empty()) {
                waiting.lockEntries.push_back(holder);
                list.insertWaitingEntry(transaction, holder);
            }
            if (tryLock) {
                THROW(MOX_LM_LOCK_TIME_OUT);
            }
        }
        wait.pause();
    }
}

bool MoxLockManager::requestIntention(LockType intention, const MoxLockObject& object,
                                      const MoxTransactionId& transaction, bool& gateChecked) {
    MOX_TRACE_ENTRY();
    MoxLockWait wait;
    RequestWaiting waiting;
    try {
        while (true) {
            {
                MoxScopedExclusiveLatch latch(layout->header.latch);
                if (!passesGateInThisHold(gateChecked)) {
                    return false;
                }
                if (attemptIntention(intention, object, transaction, waiting)) {
                    forgetWaiting(transaction, waiting);
                    return true;
                }
            }
            if (wait.expired()) {
                THROW_TOKENS(MOX_LM_LOCK_TIME_OUT, timeOutTokens(intentionWord(intention), object));
            }
            wait.pause();
        }
    } catch (const MoxException&) {
        forgetWaitingAfterFailure(transaction, waiting);
        throw;
    }
}

bool MoxLockManager::attemptIntention(LockType intention, const MoxLockObject& object,
                                      const MoxTransactionId& transaction, RequestWaiting& waiting) {
    // While the transaction holds any entry on the object, no other one can
    // hold an exclusive lock there (it would not have been granted beside
    // it, nor this entry beside that lock): holding the intention or an
    // exclusive lock already, it gets the entry without a look at the
    // others. A segment's chain holds an intention entry for every page and
    // row lock of the transaction, so the look grows with the transaction.
    if (newestOwnOfType(transaction, intention, object) != LIST_END ||
        newestOwnOfType(transaction, ExclusiveLock, object) != LIST_END) {
        insertEntry(transaction, intention, object);
        return true;
    }
    MoxLockList::ObjectEntries entries = list.describe(transaction, object);
    if (!entries.own[ExclusiveLock]) {
        if (entries.otherExclusive != LIST_END) {
            waitFor(transaction, {entries.otherExclusive}, waiting);
            return false;
        }
        if (!entries.own[intention] && intention == IntentionalExclusiveLock) {
            bool ownShared = entries.own[SharedLock];
            bool otherShared = entries.otherSharedCount > 0;
            // On a page every other shared holder refuses; on a segment a
            // second shared entry of its own does, too.
            bool sharedTooMany = object.page == NO_PAGE ? entries.sharedCount > 1 : otherShared;
            if ((otherShared && !ownShared) || (ownShared && sharedTooMany)) {
                // Refused by its own second shared entry alone, it waits for
                // nobody else: only the time-out ends that wait.
                if (entries.otherShared != LIST_END) {
                    waitFor(transaction, list.entriesOfOthers(transaction, object, 1u << SharedLock), waiting);
                }
                return false;
            }
        }
    }
    insertEntry(transaction, intention, object);
    return true;
}

void MoxLockManager::waitFor(const MoxTransactionId& transaction, const std::vector<Uint32>& holders,
                            RequestWaiting& waiting) {
    // The release of an entry waited for removes its waiting entry; while
    // the request still waits, it waits for the holders left.
    bool recorded = false;
    bool waits = false;
    for (Uint32 holder : holders) {
        if (list.existsWaitingEntry(transaction, holder)) {
            waits = true;
            continue;
        }
        try {
            list.insertWaitingEntry(transaction, holder, !undoing);
        } catch (const MoxException& exception) {
            // The waiting list is small (100 entries): one entry per waiting
            // request is owed, the others only let cycles be found sooner
            // than by the time-out.
            if (exception.getErrorCode() != MOX_LM_LOCK_LIST_FULL || !waits) {
                throw;
            }
            break;
        }
        waiting.lockEntries.push_back(holder);
        recorded = waits = true;
    }
    if (recorded || undoing) {
        return;
    }
    for (Uint32 holder : holders) {
        if (list.isOnCycle(transaction, holder)) {
            // An undo waits for this transaction, which waits for the undo.
            THROW(MOX_LM_DEADLOCK);
        }
    }
}

bool MoxLockManager::isCovered(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction) const {
    if (newestOwnOfType(transaction, ExclusiveLock, object) != LIST_END) {
        return true;
    }
    if (type != SharedLock || newestOwnOfType(transaction, SharedLock, object) == LIST_END) {
        return false;
    }
    // A shared lock is granted beside another transaction's intention
    // exclusive lock, whose holder may be changing rows or pages below it:
    // then a request below must meet their locks, not pass as covered.
    return !list.describe(transaction, object).otherIntentionExclusive;
}

bool MoxLockManager::attemptRequest(LockType type, const MoxLockObject& object, const MoxTransactionId& transaction,
                                    bool forceRequest, RequestWaiting& waiting) {
    MOX_TRACE_ENTRY();
    if (!forceRequest && (type == SharedLock || type == ExclusiveLock) && object.page != NO_PAGE) {
        if (isCovered(type, segmentOf(object), transaction) ||
            (object.slot != NO_SLOT && isCovered(type, pageOf(object), transaction))) {
            releaseIntentions(object, transaction, intentionOf(type));
            return true;
        }
    }
    // A lock the transaction holds already is granted without an entry.
    if (!forceRequest && newestOwnOfType(transaction, type, object) != LIST_END) {
        releaseIntentions(object, transaction, intentionOf(type));
        return true;
    }
    MoxLockList::ObjectEntries entries = list.describe(transaction, object);
    bool granted = false;
    if (entries.newest == LIST_END) {
        granted = true;
    } else if (entries.ownAny) {
        granted = type == SharedLock || entries.newestOther == LIST_END;
    } else {
        granted = entries.otherExclusive == LIST_END && type != ExclusiveLock;
    }
    if (granted) {
        insertEntry(transaction, type, object);
        return true;
    }
    // Wait for the holders that conflict: never for an entry of its own,
    // which the deadlock detection would take for a cycle. Only an exclusive
    // entry refuses a shared request, and there is one at most.
    if (type == SharedLock && entries.otherExclusive != LIST_END) {
        waitFor(transaction, {entries.otherExclusive}, waiting);
    } else {
        waitFor(transaction, list.entriesOfOthers(transaction, object, ~0u), waiting);
    }
    return false;
}

bool MoxLockManager::knowsAllEntriesOf(const MoxTransactionId& transaction) const {
    return transaction.getProcessId() == ownerProcess;
}

Uint32 MoxLockManager::newestOwnOfType(const MoxTransactionId& transaction, LockType type,
                                       const MoxLockObject& object) const {
    return knowsAllEntriesOf(transaction) ? ownLocks.newestOfType(transaction, type, object)
                                          : list.existsLockType(transaction, type, object);
}

Uint32 MoxLockManager::insertEntry(const MoxTransactionId& transaction, LockType type, const MoxLockObject& object) {
    Uint32 entry = list.insertEntry(transaction, type, object);
    usedEntries.insert(entry);
    ownLocks.add(object, entry, type, transaction);
    return entry;
}

void MoxLockManager::removeEntry(Uint32 entry) {
    const MoxLockEntry& removed = layout->lockEntry[entry];
    ownLocks.remove({removed.segmentId, removed.pageId, removed.slotId}, entry,
                    static_cast<LockType>(removed.lockType));
    list.deleteEntry(entry);
    while (list.deleteWaitingEntry(entry)) {
    }
    usedEntries.erase(entry);
}

void MoxLockManager::forgetWaiting(const MoxTransactionId& transaction, RequestWaiting& waiting) {
    for (Uint32 entry : waiting.lockEntries) {
        list.deleteWaitingEntry(transaction, entry);
    }
    waiting.lockEntries.clear();
}

void MoxLockManager::forgetWaitingAfterFailure(const MoxTransactionId& transaction, RequestWaiting& waiting) {
    if (waiting.lockEntries.empty()) {
        return;
    }
    try {
        MoxScopedExclusiveLatch latch(layout->header.latch);
        forgetWaiting(transaction, waiting);
    } catch (const MoxException& exception) {
        exception.SET_ERROR();  // the original failure is the one to report
        MOX_TRACE_ERROR();
    }
}

void MoxLockManager::releaseIntentions(const MoxLockObject& object, const MoxTransactionId& transaction,
                                       LockType first) {
    if (object.page == NO_PAGE) {
        return;
    }
    if (object.slot != NO_SLOT) {
        releaseIntention(pageOf(object), transaction, first);
    }
    releaseIntention(segmentOf(object), transaction, first);
}

void MoxLockManager::releaseIntention(const MoxLockObject& object, const MoxTransactionId& transaction,
                                      LockType first) {
    Uint32 entry = newestOwnOfType(transaction, first, object);
    if (entry == LIST_END) {
        entry = newestOwnOfType(transaction, IntentionalExclusiveLock, object);
    }
    if (entry == LIST_END) {
        entry = newestOwnOfType(transaction, IntentionalSharedLock, object);
    }
    if (entry != LIST_END) {
        removeEntry(entry);
    }
}

void MoxLockManager::releaseSegment(SegmentId segment) {
    MOX_TRACE_ENTRY();
    releaseObject({segment, NO_PAGE, NO_SLOT});
}

void MoxLockManager::releasePage(SegmentId segment, PageId page) {
    MOX_TRACE_ENTRY();
    releaseObject({segment, page, NO_SLOT});
}

void MoxLockManager::releaseSlot(SegmentId segment, PageId page, SlotId slot) {
    MOX_TRACE_ENTRY();
    releaseObject({segment, page, slot});
}

void MoxLockManager::releaseObject(const MoxLockObject& object) {
    MOX_TRACE_ENTRY();
    MOX_TRACE_DATA1(1, sizeof(object), &object);
    profiler.setElementName(GetReleaseTime, MoxLockManagerProfiling::GetReleaseTimeName, support::profiling::Timer());
    ScopedLockTimer timed(profiler, GetReleaseTime);
    MoxTransactionId transaction = currentTransaction();
    MoxScopedExclusiveLatch latch(layout->header.latch);
    Uint32 entry =
        knowsAllEntriesOf(transaction) ? ownLocks.newest(transaction, object) : list.existsEntry(transaction, object);
    if (entry == LIST_END) {
        std::vector<std::string> tokens = objectTokens(object);
        THROW_TOKENS(MOX_LM_NO_SUCH_ENTRY, tokens);
    }
    removeEntry(entry);
    releaseIntentions(object, transaction, IntentionalExclusiveLock);
}

void MoxLockManager::releaseAll() {
    MOX_TRACE_ENTRY();
    profiler.setElementName(GetReleaseTime, MoxLockManagerProfiling::GetReleaseTimeName, support::profiling::Timer());
    ScopedLockTimer timed(profiler, GetReleaseTime);
    MoxTransactionId transaction = currentTransaction();
    if (usedEntries.empty()) {
        return;
    }
    MoxScopedExclusiveLatch latch(layout->header.latch);
    while (!usedEntries.empty()) {
        Uint32 entry = *usedEntries.begin();
        const MoxLockEntry& lockEntry = layout->lockEntry[entry];
        if (!(lockEntry.transactionId == transaction)) {
            THROW(MOX_INTERNAL_FAIL);
        }
        if (isDatabaseObject(lockEntry)) {
            layout->header.dbRequestType = DBNone;
        }
        removeEntry(entry);
    }
    ownLocks.clear();
}

std::vector<MoxTransactionId> MoxLockManager::getTransactionsInList() {
    MOX_TRACE_ENTRY();
    std::vector<MoxTransactionId> transactions;
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    for (const MoxLockEntry& entry : layout->lockEntry) {
        const MoxTransactionId& holder = entry.transactionId;
        if (!(holder == MoxTransactionId::INVALID_TRANSACTION_ID) &&
            std::find(transactions.begin(), transactions.end(), holder) == transactions.end()) {
            transactions.push_back(holder);
        }
    }
    return transactions;
}

Uint32 MoxLockManager::releaseAllOf(const MoxTransactionId& transaction) {
    MOX_TRACE_ENTRY();
    currentTransaction();
    Uint32 released = 0;
    MoxScopedExclusiveLatch latch(layout->header.latch);
    for (Uint32 entry = 0; entry < LIST_END; ++entry) {
        const MoxLockEntry& lockEntry = layout->lockEntry[entry];
        if (lockEntry.transactionId == transaction) {
            if (isDatabaseObject(lockEntry)) {
                layout->header.dbRequestType = DBNone;
            }
            removeEntry(entry);
            ++released;
        }
    }
    while (list.deleteWaitingEntry(transaction, LIST_END, MoxLockList::TransactionMatch)) {
    }
    return released;
}

void MoxLockManager::requestDB(LockType type) {
    MOX_TRACE_ENTRY();
    profiler.setElementName(GetRequestTime, MoxLockManagerProfiling::GetRequestTimeName, support::profiling::Timer());
    ScopedLockTimer timed(profiler, GetRequestTime);
    MoxLockWait wait;
    MoxTransactionId transaction = currentTransaction();
    LockType requested = type == SharedLock ? SharedLock : ExclusiveLock;
    RequestWaiting waiting;
    try {
        while (true) {
            {
                MoxScopedExclusiveLatch latch(layout->header.latch);
                MoxLockListHeader& header = layout->header;
                if (header.dbRequestType == DBNone) {
                    bool grantable = requested == SharedLock ? !list.existsExclusiveLock() : header.countEntry == 0;
                    if (grantable) {
                        header.dbRequestType = requested == SharedLock ? DBShared : DBExclusive;
                        insertEntry(transaction, requested, databaseObject);
                        forgetWaiting(transaction, waiting);
                        return;
                    }
                } else {
                    bool holds = list.existsEntry(transaction, databaseObject) != LIST_END;
                    if (holds && (header.dbRequestType == DBExclusive || requested == SharedLock)) {
                        forgetWaiting(transaction, waiting);
                        return;
                    }
                    Uint32 holder = list.existsEntryOfOtherTransaction(transaction, databaseObject);
                    if (holder != LIST_END && waiting.lockEntries.empty()) {
                        waiting.lockEntries.push_back(holder);
                        list.insertWaitingEntry(transaction, holder);
                    }
                }
                if (wait.expired()) {
                    forgetWaiting(transaction, waiting);
                    THROW_wARGS1(MOX_LM_LOCK_TIME_OUT, requestWord(requested));
                }
            }
            wait.pause();
        }
    } catch (const MoxException&) {
        forgetWaitingAfterFailure(transaction, waiting);
        throw;
    }
}

void MoxLockManager::releaseDB() {
    MOX_TRACE_ENTRY();
    profiler.setElementName(GetReleaseTime, MoxLockManagerProfiling::GetReleaseTimeName, support::profiling::Timer());
    ScopedLockTimer timed(profiler, GetReleaseTime);
    MoxTransactionId transaction = currentTransaction();
    MoxScopedExclusiveLatch latch(layout->header.latch);
    Uint32 entry = list.existsEntry(transaction, databaseObject);
    if (entry == LIST_END) {
        THROW(MOX_LM_NO_SUCH_ENTRY);
    }
    removeEntry(entry);
    layout->header.dbRequestType = DBNone;
}

bool MoxLockManager::existsLock(SegmentId segment, PageId page, SlotId slot) {
    MOX_TRACE_ENTRY();
    bool exists = false;
    LockType type = SharedLock;
    getLockTypeIfLockExists(exists, type, segment, page, slot);
    return exists;
}

void MoxLockManager::getLockTypeIfLockExists(bool& exists, LockType& type, SegmentId segment, PageId page,
                                             SlotId slot) {
    MOX_TRACE_ENTRY();
    MoxTransactionId transaction = currentTransaction();
    if (knowsAllEntriesOf(transaction)) {
        // The transaction's own entries: known in this process, no latch needed.
        exists = ownLocks.newestType(transaction, {segment, page, slot}, type);
        return;
    }
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    Uint32 entry = list.existsEntry(transaction, {segment, page, slot});
    exists = entry != LIST_END;
    if (exists) {
        type = static_cast<LockType>(layout->lockEntry[entry].lockType);
    }
}

Uint32 MoxLockManager::countOwnLocks(SegmentId segment, PageId page, SlotId slot) {
    MOX_TRACE_ENTRY();
    MoxTransactionId transaction = currentTransaction();
    if (knowsAllEntriesOf(transaction)) {
        return ownLocks.count(transaction, {segment, page, slot});
    }
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    return list.countEntries(transaction, {segment, page, slot});
}

void MoxLockManager::printLockList(bool withBuckets) {
    MOX_TRACE_ENTRY();
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    MoxLockListPrinter(*layout).printLockList(withBuckets);
}

void MoxLockManager::printLockListOfTransaction(MoxTransactionId transaction) {
    MOX_TRACE_ENTRY();
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    MoxLockListPrinter(*layout).printTransaction(transaction);
}

void MoxLockManager::printLockListOfCurrentTransaction() {
    MOX_TRACE_ENTRY();
    currentTransaction();
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    MoxLockListPrinter(*layout).printEntries(usedEntries);
}

void MoxLockManager::printLockListHashMap() {
    MOX_TRACE_ENTRY();
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    MoxLockListPrinter(*layout).printHashMap();
}

void MoxLockManager::printLockListAllTransactions() {
    MOX_TRACE_ENTRY();
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    MoxLockListPrinter(*layout).printAllTransactions();
}

void MoxLockManager::printWaitList() {
    MOX_TRACE_ENTRY();
    MoxScopedLatch latch(layout->header.latch, MoxLatch::Shared);
    MoxLockListPrinter(*layout).printWaitList();
}

void MoxLockManager::printStatistics(const char* argument) {
    MOX_TRACE_ENTRY();
    std::vector<std::string> words;
    std::string text = argument == nullptr ? std::string() : std::string(argument);
    boost::split(words, text, boost::is_any_of(" "));
    try {
        MoxLockManager* manager = getInstance();
        if (words.size() >= 2 && words[0] == "current" && words[1] == "transaction") {
            manager->printLockListOfCurrentTransaction();
        } else if (words[0] == "waitinglist") {
            manager->printWaitList();
        } else if (words[0] == "locklisthashmap" || words[0] == "hashmap") {
            manager->printLockListHashMap();
        } else {
            manager->printLockListAllTransactions();
        }
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
    }
}
