#ifndef MOX_LOG_H
#define MOX_LOG_H

// Interface of the log component: LSNs and the log manager.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../log/MoxLsn.h"
#include "../log/MoxLogManager.h"

#endif
