#ifndef MOX_IO_FAULTS_H
#define MOX_IO_FAULTS_H

#include <cerrno>
#include <string>

#include "../include/Mox.h"

// Test-only failures of the file operations on segment and log files: a test
// arms one fault, and the n-th operation that it applies to fails as the
// disk would make it fail (EIO, ENOSPC, or a write that stops half way). The
// operations are those of MoxFileIo, through which the file and log managers
// and the log analysis do all their file input and output.
//
// Only a build with MOX_FAULT_INJECTION (a CMake option, off by default; the
// project's test builds turn it on) has the seam. Without it due() is a
// constant "no fault" and nothing of this class is compiled, so production
// builds run exactly the plain file operations and cannot be made to fail.
//
// State is per process (a forked child inherits the armed fault); one thread.
class MoxIoFaults {
  public:
    // Kinds of operation, as bits for the masks below.
    enum Operation : Uint32 {
        Open = 1,       // opening or creating a file
        Close = 2,      // closing it, which hands over what is still buffered
        Read = 4,       // reading bytes
        Write = 8,      // writing bytes
        Size = 16,      // asking for the size of an open file
        Truncate = 32,  // cutting a file back
        AllOperations = 63
    };
    enum FileKind : Uint32 { SegmentFile = 1, LogFile = 2, AllFiles = 3 };
    enum Effect {
        IoError,    // the operation fails with EIO
        NoSpace,    // the operation fails with ENOSPC
        ShortWrite  // the first half of the bytes reach the file, then ENOSPC
    };

    // The operations an effect can strike: an I/O error all, a full disk
    // creation, writes and closes, a short write only writes.
    static Uint32 operationsOf(Effect effect) {
        return effect == IoError ? AllOperations : effect == NoSpace ? Open | Write | Close : Write;
    }
    // The system error that stands for the effect.
    static int errorOf(Effect effect) { return effect == IoError ? EIO : ENOSPC; }

#ifdef MOX_FAULT_INJECTION
    // Counts the operation if the armed fault applies to it and returns the
    // fault's effect when it is the one to fail, else nullptr. For MoxFileIo.
    static const Effect* due(Operation operation, FileKind file);

    // Arms one fault: the n-th operation (from 1) among `operations` on
    // `files` from now on fails with effect; the operations default to
    // those the effect can strike. Counting starts again at 0.
    static void TEST_arm(Effect effect, Uint64 n, Uint32 operations = 0, Uint32 files = AllFiles);
    // No further fault; what was counted and fired stays readable.
    static void TEST_disarm();
    // Whether the armed fault struck, and where ("write of a log file").
    static bool TEST_fired();
    static std::string TEST_firedAt();
    // The operations counted since arming.
    static Uint64 TEST_counted();
#else
    static constexpr const Effect* due(Operation, FileKind) {
        return nullptr;
    }
#endif
};

#endif
