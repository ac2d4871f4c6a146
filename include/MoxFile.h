#ifndef MOX_FILE_H
#define MOX_FILE_H

// Interface of the file component: segment files.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../file/MoxFileManager.h"

#endif
