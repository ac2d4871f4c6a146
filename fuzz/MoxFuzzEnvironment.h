#ifndef MOX_FUZZ_ENVIRONMENT_H
#define MOX_FUZZ_ENVIRONMENT_H

#include <string>

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
};

#endif
