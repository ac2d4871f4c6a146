#ifndef MOX_LOCK_H
#define MOX_LOCK_H

// Interface of the lock component: the lock manager and scoped locks.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../lock/MoxLockManager.h"
#include "../lock/MoxScopedLock.h"

#endif
