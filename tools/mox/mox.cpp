// mox: the command-line front end of the engine. Drives the engine through
// its interface headers only, as any outside program would.

#include <iostream>
#include <string>
#include <vector>

#include "MoxCheckCommand.h"
#include "MoxCommandLine.h"
#include "MoxLoadCommand.h"
#include "MoxRowCommands.h"
#include "MoxSchemaCommands.h"
#include "MoxSupport.h"
#include "MoxSystemCommands.h"

int main(int argc, char** argv) {
    MoxError errorObject;
    MoxCommandLine commandLine("mox");
    MoxSystemCommands::addTo(commandLine);
    MoxSchemaCommands::addTo(commandLine);
    MoxLoadCommand::addTo(commandLine);
    MoxRowCommands::addTo(commandLine);
    MoxCheckCommand::addTo(commandLine);

    int exitCode = commandLine.run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    // The process's managers go last: they write the pool's dirty pages and
    // detach from the sets.
    try {
        MoxSystem::stopAllManagers();
    } catch (const MoxException& failure) {
        failure.print(std::cerr);
        exitCode = 1;
    }
    return exitCode;
}
