#ifndef MOX_ROW_COMMANDS_H
#define MOX_ROW_COMMANDS_H

#include <string>
#include <utility>

#include "MoxCommandLine.h"
#include "MoxTableRows.h"

// The commands that read and change the rows of a table: scan, get, delete
// and update. Values on the command line follow the CSV rules of load: an
// empty value is NULL, a quoted one ("") a text.
class MoxRowCommands {
  public:
    MoxRowCommands() = delete;

    static void addTo(MoxCommandLine& commandLine);

    // "COLUMN=VALUE" as a column of the table and a value that fits it;
    // MoxRefusal otherwise.
    static std::pair<Uint16, MoxColumnValue> assignment(const MoxTableRows& rows, const std::string& text);

  private:
    static int scan(const MoxArguments& arguments);
    static int get(const MoxArguments& arguments);
    static int remove(const MoxArguments& arguments);
    static int update(const MoxArguments& arguments);

    // --where COLUMN=VALUE or --range COLUMN LOW HIGH; all rows without either.
    static MoxRowSelection selection(const MoxTableRows& rows, const MoxArguments& arguments);
};

#endif
