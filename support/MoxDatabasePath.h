#ifndef MOX_DATABASE_PATH_H
#define MOX_DATABASE_PATH_H

#include <cstdlib>

#include "../include/MoxConfig.h"

// The database directory as the user gave it: MOX_DATABASE_PATH, or
// MOX_DEFAULT_DATABASE_PATH when the variable is unset or empty. Every
// component reads it here, so that segment files and shared memory keys
// never disagree about which directory is meant.
inline const char* MoxGetDatabasePath() {
    const char* path = getenv("MOX_DATABASE_PATH");
    return path == nullptr || path[0] == '\0' ? MOX_DEFAULT_DATABASE_PATH : path;
}

#endif
