#ifndef MOX_LOG_H
#define MOX_LOG_H

// Interface of the log component: LSNs.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../log/MoxLsn.h"

#endif
