#ifndef MOX_LOG_H
#define MOX_LOG_H

// Interface of the log component: LSNs, log entries, the log manager and
// the recovery lists.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../log/MoxAbstractLogEntry.h"
#include "../log/MoxIndexLogEntry.h"
#include "../log/MoxIndexUndoHandler.h"
#include "../log/MoxLogManager.h"
#include "../log/MoxLsn.h"
#include "../log/MoxRecordLogEntry.h"
#include "../log/MoxRecordUndoHandler.h"
#include "../log/MoxRecovery.h"

#endif
