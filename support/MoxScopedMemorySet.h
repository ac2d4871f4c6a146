#ifndef MOX_SCOPED_MEMORY_SET_H
#define MOX_SCOPED_MEMORY_SET_H

#include "MoxException.h"
#include "MoxMemoryManager.h"

// A connection to one memory set for the length of a scope, for operations
// that attach, work and detach within one call. The constructor throws the
// connect's MoxException (MOX_MM_SHM_NOT_EXISTS when the set is missing).
// Where this process is attached already (its manager holds the set), the
// connection shares that mapping and leaves it attached.
class MoxScopedMemorySet {
  public:
    explicit MoxScopedMemorySet(MoxMemoryManager::MemorySet set);
    // Disconnects if disconnect() was not called; a failure here is recorded
    // in the error object, never thrown.
    ~MoxScopedMemorySet();
    MoxScopedMemorySet(const MoxScopedMemorySet&) = delete;
    MoxScopedMemorySet& operator=(const MoxScopedMemorySet&) = delete;

    // The start of the set's data area, where its owner's layout begins.
    void* getData() const { return data; }

    // Disconnects now (unless the mapping was shared), letting a failure
    // through as MoxException.
    void disconnect();

    // Runs work on the set's data area while connected, then disconnects.
    // Returns false, without running work, when the set does not exist; every
    // other failure is thrown.
    template <typename Work>
    static bool workIfExists(MoxMemoryManager::MemorySet set, Work work) {
        try {
            MoxScopedMemorySet connection(set);
            work(connection.getData());
            connection.disconnect();
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_MM_SHM_NOT_EXISTS) {
                throw;
            }
            return false;
        }
        return true;
    }

    // Connects to set, releases an exclusive hold of the latch at the front
    // of its data area (whoever holds it), destroys the latch after waiting
    // for shared holders, disconnects and removes the set. A set that does
    // not exist counts as removed, a latch destroyed already is skipped;
    // every other failure is thrown. A manager of
    // this process that is attached keeps its mapping until it detaches, but
    // its latch is gone. Returns whether the set existed.
    static bool destroyLatchedSet(MoxMemoryManager::MemorySet set);

  private:
    MoxMemoryManager::MemorySet set;
    void* data;
    bool connected;
};

#endif
