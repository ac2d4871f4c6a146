#include "MoxFuzzEnvironment.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <streambuf>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

// Accepts every character and keeps none.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

std::string workDirectory;

void stopSystem() {
    try {
        MoxSystem::stopAllManagers();
        MoxSystem::stop(true);
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
    }
}

}  // namespace

void MoxFuzzEnvironment::enter() {
    const char* given = getenv("MOX_FUZZ_WORK");
    if (given != nullptr) {
        workDirectory = given;
    } else {
        char pattern[] = "/tmp/moxfuzz.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            perror("mkdtemp");
            abort();
        }
        workDirectory = pattern;
    }
    if (chdir(workDirectory.c_str()) != 0 || setenv("MOX_DATABASE_PATH", workDirectory.c_str(), 1) != 0) {
        perror(workDirectory.c_str());
        abort();
    }
    static NullBuffer discard;
    std::cout.rdbuf(&discard);
}

void MoxFuzzEnvironment::startSystem() {
    // Sets left by an earlier run of the same directory that crashed.
    MoxSystem::stop(true);
    MoxLockManager::initializeLockList();
    MoxBufferManager::initializeBuffer();
    MoxLogManager::initializeLogFileHandling();
    atexit(stopSystem);
}

const std::string& MoxFuzzEnvironment::directory() {
    return workDirectory;
}

void MoxFuzzEnvironment::removeFile(const std::string& name) {
    unlink(name.c_str());
}

void MoxFuzzEnvironment::writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream file(name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        perror(name.c_str());
        abort();
    }
}

void MoxFuzzEnvironment::createSegment(SegmentId segment, const std::string& bytes) {
    const std::string name = directory() + "/Seg" + std::to_string(segment) + ".mox";
    removeFile(name);
    MoxBufferManager::getInstance()->createSegment(segment);
    writeFile(name, bytes);
}

void MoxFuzzEnvironment::dropSegment(SegmentId segment) {
    MoxBufferManager::getInstance()->dropSegment(segment);
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
    removeFile("1.log");
}
