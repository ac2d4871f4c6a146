#ifndef MOX_SYSTEM_H
#define MOX_SYSTEM_H

#include "../support/MoxException.h"

// Stops the database system as a whole. Stateless: static operations only.
class MoxSystem {
  public:
    MoxSystem() = delete;

    // Removes the lock list, the log file handling and the buffer pool sets.
    // Without force it refuses with MOX_SYSTEM_STOP_IN_USE while a lock is
    // held or a page is fixed. Stopping a stopped system succeeds.
    static void stop(bool force);

    // Deletes this process's manager singletons that exist, after writing
    // the dirty pages of the pool; a page that could not be written is
    // thrown once every manager is gone.
    static void stopAllManagers();
};

#endif
