// The debug commands of every component with arbitrary argument texts,
// over a small real database (the catalog and an index of two levels): each
// command must check its words and numbers and answer with its usage, an
// error or a dump, never with a crash, a hang or an access outside what it
// reads. The commands that reset statistics run as well.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "MoxBuffer.h"
#include "MoxCatalog.h"
#include "MoxFuzzEnvironment.h"
#include "MoxFuzzInput.h"
#include "MoxIndexManager.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "support/MoxDebug.h"

namespace {

// The registration of each name of MoxDebugFuzzInput::commandNames.
std::vector<MoxDebugData> commands;

void endTransaction() {
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
}

// The catalog (whose tables the table commands name) and index 5 of two
// levels, committed, so that the dumps have pages and entries to read.
void buildDatabase() {
    if (MoxCatalogManager::initializeCatalog() != MOX_SUCCESS) {
        fprintf(stderr, "the catalog cannot be set up\n");
        abort();
    }
    MoxIndexManager* indexes = MoxIndexManager::getInstance();
    indexes->createIndex(5, false, BTree, INTEGER);
    for (Sint32 key = 0; key < 2000; ++key) indexes->insert(5, MoxIndexKey(key % 997), TupleId{1, 1});
    MoxSystem::commit();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MoxFuzzEnvironment::enter();
    MoxFuzzEnvironment::startSystem();
    buildDatabase();
    // Every component has registered its commands by now.
    MoxLogManager::getInstance();
    MoxTransactionManager::getInstance();
    for (const std::string& name : MoxDebugFuzzInput::commandNames) {
        for (const MoxDebugData& command : MoxDebug::getFunctions()) {
            if (name == command.name) {
                commands.push_back(command);
                break;
            }
        }
    }
    if (commands.size() != MoxDebugFuzzInput::commandNames.size()) {
        fprintf(stderr, "not every debug command is registered\n");
        abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MoxFuzzInput input(data, size);
    const MoxDebugData& command = commands[input.byte() % commands.size()];
    // The argument is a C text: it ends at the first NUL.
    const std::string rest = input.rest();
    const std::string arguments = rest.substr(0, strlen(rest.c_str()));
    try {
        if (command.func != nullptr) command.func(arguments.c_str());
        if (command.rstfunc != nullptr) command.rstfunc(arguments.c_str());
    } catch (const MoxException&) {
        // A command that passes an error on has refused the arguments.
    }
    endTransaction();
    return 0;
}
