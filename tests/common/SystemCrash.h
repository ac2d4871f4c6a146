#ifndef MOX_SYSTEM_CRASH_H
#define MOX_SYSTEM_CRASH_H

// The system crash of the tests. Work that is to be lost runs in forked
// children (ChildProcess), which the caller kills with SIGKILL or lets die at
// a crash point (MoxLogManager::TEST_killAfterAppends); the test process
// itself must hold no buffer manager, or its dirty pages would survive.
//
// crashSystem then stops the system with force, which removes the buffer
// pool and every dirty page in it, and creates the three sets anew, empty,
// as a system start does before it sets up the catalog. Segment and log
// files stay as the crash left them; recovery runs next.
void crashSystem();

// Creates the three sets of a started system (lock list, buffer pool, log
// file handling) without a catalog.
void startSets();

#endif
