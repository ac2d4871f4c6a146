#include "BenchSupport.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "clp/MoxSystem.h"

BenchDatabase::BenchDatabase() {
    char pattern[] = "/tmp/moxbench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        perror("mkdtemp");
        exit(1);
    }
    path = pattern;
    char* cwd = getcwd(nullptr, 0);
    previousWorkingDirectory = cwd != nullptr ? cwd : "/";
    free(cwd);
    setenv("MOX_DATABASE_PATH", path.c_str(), 1);
    if (chdir(path.c_str()) != 0) {
        perror("chdir");
        exit(1);
    }
}

BenchDatabase::~BenchDatabase() {
    try {
        // The managers first: they write dirty pages back and detach, and a
        // process attached to a set cannot remove it.
        MoxSystem::stopAllManagers();
        MoxSystem::stop(true);
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
    }
    if (chdir(previousWorkingDirectory.c_str()) != 0) perror("chdir");
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

namespace {

double nowNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

}  // namespace

void startSets() {
    MoxLockManager::initializeLockList();
    MoxBufferManager::initializeBuffer();
    MoxLogManager::initializeLogFileHandling();
}

double secondsOf(const std::function<void()>& work) {
    const double start = nowNanoseconds();
    work();
    return (nowNanoseconds() - start) / 1e9;
}

void commitTransaction() {
    MoxRecordManager::getInstance()->commit();
    MoxBufferManager::getInstance()->commit();
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
}

double nanosecondsPerCall(long iterations, const std::function<void()>& operation) {
    for (long i = 0; i < iterations / 10 + 1; ++i) operation();
    double start = nowNanoseconds();
    for (long i = 0; i < iterations; ++i) operation();
    return (nowNanoseconds() - start) / static_cast<double>(iterations);
}

void printRatio(const std::string& label, double measured, double baseline) {
    printf("%-60s %12.1f ns %12.1f ns   ratio %8.2f\n", label.c_str(), measured, baseline,
           baseline > 0 ? measured / baseline : 0.0);
    fflush(stdout);
}
