#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TestDatabase.h"

namespace {

const char* const successOutput = "\nThe system was stopped successfully. SQLSTATE=00000\n";

class MoxStopCommand : public TestDatabase {
  protected:
    CommandResult moxstop(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "moxstop");
        return runCommand(MOX_STOP_COMMAND, arguments);
    }
};

}  // namespace

TEST_F(MoxStopCommand, StopsAStoppedSystemWithAndWithoutForce) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"force"}, std::vector<std::string>{"FORCE"}}) {
        CommandResult result = moxstop(arguments);
        EXPECT_EQ(result.standardOutput, successOutput);
        EXPECT_EQ(result.standardError, "");
        EXPECT_EQ(result.exitCode, 0);
    }
}

TEST_F(MoxStopCommand, RejectsEveryOtherArgumentList) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"Force"}, std::vector<std::string>{"-f"}, std::vector<std::string>{"force", "force"},
          std::vector<std::string>{""}}) {
        CommandResult result = moxstop(arguments);
        EXPECT_EQ(result.standardOutput, "\n");
        EXPECT_EQ(result.standardError, "Usage: moxstop [force]\n\n");
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST_F(MoxStopCommand, TracesItsEntryFunction) {
    setenv("MOX_TRACE_FILE", "stderr", 1);
    CommandResult result = moxstop({"x"});
    unsetenv("MOX_TRACE_FILE");
    EXPECT_EQ(result.standardError,
              "<Function name=\"int main(int, char**)\" >\nUsage: moxstop [force]\n\n</Function>\n");
}

TEST_F(MoxStopCommand, ReportsADatabaseDirectoryThatDoesNotExist) {
    setenv("MOX_DATABASE_PATH", (directory() + "/missing").c_str(), 1);
    CommandResult result = moxstop({"force"});
    setenv("MOX_DATABASE_PATH", directory().c_str(), 1);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardOutput, "\n");
    EXPECT_EQ(result.standardError.rfind("\nException aufgetreten: \nCould not create shared memory segment for memory "
                                         "set 'Buffer Pool' (ID 0) exclusively.  Segment already exists?  System "
                                         "error: 2 ('No such file or directory') SQLSTATE=MM002\n",
                                         0),
              0u)
        << result.standardError;
}
