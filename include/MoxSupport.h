#ifndef MOX_SUPPORT_H
#define MOX_SUPPORT_H

// Interface of the support component: errors, exceptions, tracing,
// shared memory sets, latches, profiling, the debug registry and system
// control.

#include "Mox.h"
#include "MoxComponents.h"
#include "MoxErrorCodes.h"
#include "../support/MoxDatabasePath.h"
#include "../support/MoxDebug.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxLatch.h"
#include "../support/MoxMemoryManager.h"
#include "../support/MoxScopedLatch.h"
#include "../support/MoxTrace.h"
#include "../support/MoxTraceManager.h"
#include "../clp/MoxSystem.h"

#endif
