#include "TestDatabase.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "MoxSupport.h"
#include "clp/MoxSystem.h"

void TestDatabase::SetUp() {
    char pattern[] = "/tmp/moxtest.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    databaseDirectory = pattern;
    char* cwd = getcwd(nullptr, 0);
    ASSERT_NE(cwd, nullptr);
    previousWorkingDirectory = cwd;
    free(cwd);
    ASSERT_EQ(setenv("MOX_DATABASE_PATH", databaseDirectory.c_str(), 1), 0);
    ASSERT_EQ(chdir(databaseDirectory.c_str()), 0);
}

void TestDatabase::stopSystem() {
    try {
        // The managers first: they write dirty pages back and detach, and a
        // process attached to a set cannot remove it.
        MoxSystem::stopAllManagers();
        MoxSystem::stop(true);
    } catch (const MoxException& exception) {
        ADD_FAILURE() << "stopping the test system failed with code " << exception.getErrorCode();
    }
}

void TestDatabase::TearDown() {
    if (databaseDirectory.empty()) {
        return;
    }
    // A test may have pointed MOX_DATABASE_PATH elsewhere; stop its own database.
    setenv("MOX_DATABASE_PATH", databaseDirectory.c_str(), 1);
    stopSystem();
    if (!previousWorkingDirectory.empty()) {
        EXPECT_EQ(chdir(previousWorkingDirectory.c_str()), 0);
    }
    unsetenv("MOX_DATABASE_PATH");
    std::error_code ignored;
    std::filesystem::remove_all(databaseDirectory, ignored);
}
