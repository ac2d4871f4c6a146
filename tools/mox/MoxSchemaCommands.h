#ifndef MOX_SCHEMA_COMMANDS_H
#define MOX_SCHEMA_COMMANDS_H

#include "MoxCommandLine.h"

// The commands that list and change the definitions of tables and indexes
// in the catalog: tables, create-table, create-index, drop-table,
// drop-index. Each change is one transaction.
class MoxSchemaCommands {
  public:
    MoxSchemaCommands() = delete;

    static void addTo(MoxCommandLine& commandLine);

  private:
    static int tables();
    static int createTable(const MoxArguments& arguments);
    static int createIndex(const MoxArguments& arguments);
    static int dropTable(const MoxArguments& arguments);
    static int dropIndex(const MoxArguments& arguments);
};

#endif
