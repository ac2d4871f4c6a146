#ifndef MOX_SYSTEM_COMMANDS_H
#define MOX_SYSTEM_COMMANDS_H

#include "MoxCommandLine.h"

// The commands on the system as a whole: start, stop, show (the debug
// commands the components register) and recover (restart recovery after a
// crash).
class MoxSystemCommands {
  public:
    MoxSystemCommands() = delete;

    static void addTo(MoxCommandLine& commandLine);

  private:
    static int start();
    static int stop(const MoxArguments& arguments);
    static int show(const MoxArguments& arguments);
    static int recover(const MoxArguments& arguments);
    static int recoverDead();
};

#endif
