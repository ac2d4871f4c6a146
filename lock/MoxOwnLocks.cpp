#include "MoxOwnLocks.h"

#include <algorithm>

void MoxOwnLocks::add(const MoxLockObject& object, Uint32 entry, LockType type, const MoxTransactionId& transaction) {
    byObject[keyOf(object)].byType[type].push_back(Held{entry, ++insertions, transaction});
}

void MoxOwnLocks::remove(const MoxLockObject& object, Uint32 entry, LockType type) {
    auto found = byObject.find(keyOf(object));
    if (found == byObject.end() || type >= typeCount) {
        return;
    }
    // Mostly the newest goes: searched from the back.
    HeldList& held = found->second.byType[type];
    auto removed = std::find_if(held.rbegin(), held.rend(), [entry](const Held& h) { return h.entry == entry; });
    if (removed == held.rend()) {
        return;
    }
    held.erase(std::next(removed).base());
    // An object's place stays for its next lock (scoped locks take and give
    // back the same ones over and over) unless the places grow many.
    const ObjectLocks& locks = found->second;
    if (byObject.size() > keptPlaces &&
        std::all_of(std::begin(locks.byType), std::end(locks.byType), [](const HeldList& l) { return l.empty(); })) {
        byObject.erase(found);
    }
}

const MoxOwnLocks::ObjectLocks* MoxOwnLocks::find(const MoxLockObject& object) const {
    auto found = byObject.find(keyOf(object));
    return found == byObject.end() ? nullptr : &found->second;
}

const MoxOwnLocks::Held* MoxOwnLocks::newestIn(const HeldList& held, const MoxTransactionId& transaction) {
    // Entries of an earlier transaction of the process stay only until it
    // releases them; the newest usually belongs to the current one.
    for (auto h = held.rbegin(); h != held.rend(); ++h) {
        if (h->transaction == transaction) {
            return &*h;
        }
    }
    return nullptr;
}

Uint32 MoxOwnLocks::newestOfType(const MoxTransactionId& transaction, LockType type,
                                 const MoxLockObject& object) const {
    const ObjectLocks* locks = find(object);
    const Held* held = locks == nullptr || type >= typeCount ? nullptr : newestIn(locks->byType[type], transaction);
    return held == nullptr ? MOX_LOCK_LIST_END : held->entry;
}

bool MoxOwnLocks::newestType(const MoxTransactionId& transaction, const MoxLockObject& object, LockType& type) const {
    const ObjectLocks* locks = find(object);
    if (locks == nullptr) {
        return false;
    }
    const Held* newest = nullptr;
    for (int t = 0; t < typeCount; ++t) {
        const Held* held = newestIn(locks->byType[t], transaction);
        if (held != nullptr && (newest == nullptr || held->insertion > newest->insertion)) {
            newest = held;
            type = static_cast<LockType>(t);
        }
    }
    return newest != nullptr;
}

Uint32 MoxOwnLocks::newest(const MoxTransactionId& transaction, const MoxLockObject& object) const {
    LockType type = SharedLock;
    return newestType(transaction, object, type) ? newestOfType(transaction, type, object) : MOX_LOCK_LIST_END;
}

Uint32 MoxOwnLocks::count(const MoxTransactionId& transaction, const MoxLockObject& object) const {
    const ObjectLocks* locks = find(object);
    Uint32 total = 0;
    for (int t = 0; locks != nullptr && t < typeCount; ++t) {
        total += static_cast<Uint32>(std::count_if(locks->byType[t].begin(), locks->byType[t].end(),
                                                   [&](const Held& h) { return h.transaction == transaction; }));
    }
    return total;
}
