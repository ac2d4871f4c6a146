// moxstop: stops the database system, by default only while nobody uses it,
// with "force" (or "FORCE") regardless.

#include <cstring>
#include <iostream>

#include "MoxSystem.h"
#include "../support/MoxError.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = Support;

int main(int argc, char** argv) {
    MoxError errorObject;
    MOX_TRACE_ENTRY();
    std::cout << std::endl;

    bool force = false;
    bool usageError = false;
    if (argc == 2 && (strcmp(argv[1], "force") == 0 || strcmp(argv[1], "FORCE") == 0)) {
        force = true;
    } else if (argc != 1) {
        usageError = true;
    }
    if (usageError) {
        std::cerr << "Usage: " << argv[0] << " [force]" << std::endl << std::endl;
        return 1;
    }

    try {
        MoxSystem::stop(force);
        MoxSystem::stopAllManagers();
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        return 1;
    }
    std::cout << "The system was stopped successfully. SQLSTATE=00000" << std::endl;
    return 0;
}
