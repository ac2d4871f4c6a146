#include "MoxOwnLocks.h"

#include <algorithm>

void MoxOwnLocks::add(const MoxLockObject& object, Uint32 entry, LockType type, const MoxTransactionId& transaction) {
    byObject[keyOf(object)].push_back(Held{entry, type, transaction});
}

void MoxOwnLocks::remove(const MoxLockObject& object, Uint32 entry) {
    auto found = byObject.find(keyOf(object));
    if (found == byObject.end()) {
        return;
    }
    HeldList& held = found->second;
    held.erase(std::remove_if(held.begin(), held.end(), [entry](const Held& h) { return h.entry == entry; }),
               held.end());
    if (held.empty()) {
        byObject.erase(found);
    }
}

const MoxOwnLocks::HeldList* MoxOwnLocks::find(const MoxLockObject& object) const {
    auto found = byObject.find(keyOf(object));
    return found == byObject.end() ? nullptr : &found->second;
}

template <typename Match>
const MoxOwnLocks::Held* MoxOwnLocks::newestMatching(const MoxTransactionId& transaction, const MoxLockObject& object,
                                                     Match match) const {
    const HeldList* held = find(object);
    if (held == nullptr) {
        return nullptr;
    }
    for (auto h = held->rbegin(); h != held->rend(); ++h) {
        if (h->transaction == transaction && match(*h)) {
            return &*h;
        }
    }
    return nullptr;
}

Uint32 MoxOwnLocks::newest(const MoxTransactionId& transaction, const MoxLockObject& object) const {
    const Held* held = newestMatching(transaction, object, [](const Held&) { return true; });
    return held == nullptr ? MOX_LOCK_LIST_END : held->entry;
}

Uint32 MoxOwnLocks::newestOfType(const MoxTransactionId& transaction, LockType type,
                                 const MoxLockObject& object) const {
    const Held* held = newestMatching(transaction, object, [type](const Held& h) { return h.type == type; });
    return held == nullptr ? MOX_LOCK_LIST_END : held->entry;
}

bool MoxOwnLocks::newestType(const MoxTransactionId& transaction, const MoxLockObject& object, LockType& type) const {
    const Held* held = newestMatching(transaction, object, [](const Held&) { return true; });
    if (held != nullptr) {
        type = held->type;
    }
    return held != nullptr;
}

Uint32 MoxOwnLocks::count(const MoxTransactionId& transaction, const MoxLockObject& object) const {
    const HeldList* held = find(object);
    if (held == nullptr) {
        return 0;
    }
    return static_cast<Uint32>(
        std::count_if(held->begin(), held->end(), [&](const Held& h) { return h.transaction == transaction; }));
}
