#ifndef MOX_TEST_DATABASE_H
#define MOX_TEST_DATABASE_H

#include <gtest/gtest.h>

#include <string>

// A private database for one test: a new temporary directory that is both
// MOX_DATABASE_PATH and the working directory (log files live there). The
// teardown stops the system with force, so that no shared memory set or
// semaphore set outlives the test, also when it fails, and removes the
// directory.
class TestDatabase : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Stops the system of the current MOX_DATABASE_PATH, removing its sets.
    static void stopSystem();

    const std::string& directory() const { return databaseDirectory; }

  private:
    std::string databaseDirectory;
    std::string previousWorkingDirectory;
};

#endif
