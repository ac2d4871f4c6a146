#ifndef MOX_DEBUG_H
#define MOX_DEBUG_H

#include <list>

#include "../include/MoxTypes.h"

// A diagnostic function: takes the argument text of the debug command.
typedef void mox_dbgfunc(const char* argument);

// One registration in the debug registry.
struct MoxDebugData {
    const char* name;
    const char* doc;
    Uint32* var;
    mox_dbgfunc* func;
    mox_dbgfunc* rstfunc;
};

// Process-wide registry of named diagnostic functions and debug variables,
// for an interactive front end to list and call. It only records; it calls
// nothing itself. Newest registrations come first; names need not be unique.
class MoxDebug {
  public:
    MoxDebug() = delete;

    static void registerDebugVariable(Uint32* var, const char* name, const char* doc);
    static void registerFunction(mox_dbgfunc* func, mox_dbgfunc* resetfunc, const char* name, const char* doc);

    static const std::list<MoxDebugData>& getDebugVariables() { return debugvariables; }
    static const std::list<MoxDebugData>& getFunctions() { return functions; }

  private:
    static std::list<MoxDebugData> debugvariables;
    static std::list<MoxDebugData> functions;
};

#endif
