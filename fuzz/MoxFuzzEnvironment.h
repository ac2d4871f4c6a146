#ifndef MOX_FUZZ_ENVIRONMENT_H
#define MOX_FUZZ_ENVIRONMENT_H

#include <string>

#include "Mox.h"

// The surroundings of a fuzz target, set up once in LLVMFuzzerInitialize:
// a working directory of its own (the value of MOX_FUZZ_WORK, which the fuzz
// script sets so that it can stop a target's system after a crash, else a
// new temporary one) that is also the database directory, and standard
// output that swallows what the dumps print, formatting included.
class MoxFuzzEnvironment {
  public:
    static void enter();
    // Starts the system's sets (lock list, buffer pool, log) in the
    // directory; they are removed when the process exits normally.
    static void startSystem();
    static const std::string& directory();
    // Removes a file of the directory if it exists.
    static void removeFile(const std::string& name);
    // Writes bytes into a file of the directory, replacing it.
    static void writeFile(const std::string& name, const std::string& bytes);
    // A segment file of the given bytes (one an earlier run that crashed
    // left is replaced), created in the current transaction, so that
    // dropSegment removes the file and every frame of it from the pool,
    // changed or not.
    static void createSegment(SegmentId segment, const std::string& bytes);
    // Drops the segment, ends the transaction with its locks and removes
    // the log, whose entries are of no use to anybody.
    static void dropSegment(SegmentId segment);
};

#endif
