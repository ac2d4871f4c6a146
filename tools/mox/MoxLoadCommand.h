#ifndef MOX_LOAD_COMMAND_H
#define MOX_LOAD_COMMAND_H

#include <istream>

#include "MoxCommandLine.h"
#include "MoxProgressBar.h"
#include "MoxTableRows.h"

// mox load TABLE [FILE]: CSV rows from a file or standard input into a
// table and all its indexes, in transactions of --batch rows, each of which
// also adds its rows to the tuple count. A row that does not fit stops the
// load: it is reported with its line and reason, and its transaction is
// rolled back (the ones before stay committed).
class MoxLoadCommand {
  public:
    MoxLoadCommand() = delete;

    static void addTo(MoxCommandLine& commandLine);

  private:
    static int run(const MoxArguments& arguments);
    // Loads every row of input; the number loaded.
    static long long load(MoxTableRows& rows, std::istream& input, long long batch, bool header,
                          MoxProgressBar& progress);
};

#endif
