#include "MoxDebug.h"

std::list<MoxDebugData> MoxDebug::debugvariables;
std::list<MoxDebugData> MoxDebug::functions;

void MoxDebug::registerDebugVariable(Uint32* var, const char* name, const char* doc) {
    debugvariables.push_front(MoxDebugData{name, doc, var, nullptr, nullptr});
}

void MoxDebug::registerFunction(mox_dbgfunc* func, mox_dbgfunc* resetfunc, const char* name, const char* doc) {
    functions.push_front(MoxDebugData{name, doc, nullptr, func, resetfunc});
}
