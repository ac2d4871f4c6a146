#ifndef MOX_LOG_MANAGER_H
#define MOX_LOG_MANAGER_H

#include <cstddef>

#include "../include/Mox.h"
#include "../support/MoxLatch.h"

// Appends log entries to the log files 1.log, 2.log, ... in the working
// directory and gives each its LSN. All processes of a database append to the
// same files; the small shared set LogFileHandling serialises them.
//
// One per process, created by getInstance on first use and deleted by the
// system stop.
class MoxLogManager {
  public:
    // The LogFileHandling memory set's data area.
    struct LogFileHandling {
        MoxLatch latch;       // 0-3: serialises every append
        Uint16 filenumber;    // 4-5: log file to append to next; 1 after start
        char unused[4090];    // 6-4095
    };

    // Creates the set, initialises its latch and starts at log file 1. Runs at
    // system start.
    static void initializeLogFileHandling();
    // Removes the set with its latch; a set that is missing counts as removed.
    // Runs at system stop.
    static void destroyLogFileHandling();
};

static_assert(offsetof(MoxLogManager::LogFileHandling, latch) == 0);
static_assert(offsetof(MoxLogManager::LogFileHandling, filenumber) == 4);
static_assert(sizeof(MoxLogManager::LogFileHandling) == MOX_LOG_FILE_HANDLING_SIZE);

#endif
