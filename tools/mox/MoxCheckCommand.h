#ifndef MOX_CHECK_COMMAND_H
#define MOX_CHECK_COMMAND_H

#include "MoxCommandLine.h"

// mox check [TABLE]: the engine's read-only integrity check of the whole
// database or of one table with its indexes. Each problem is printed as
// "<place>: <text>"; the exit code is 1 when there is one, 0 for a sound
// database.
class MoxCheckCommand {
  public:
    MoxCheckCommand() = delete;

    static void addTo(MoxCommandLine& commandLine);

  private:
    static int run(const MoxArguments& arguments);
};

#endif
