#ifndef MOX_LOCK_MANAGER_PROFILING_H
#define MOX_LOCK_MANAGER_PROFILING_H

#include "../support/profiling/VectorOfMeasures.h"

// What the lock manager measures of its own operations.
namespace MoxLockManagerProfiling {

enum LockManagerTimers { GetRequestTime = 0, GetReleaseTime = 1 };

inline const char* const GetRequestTimeName = "MoxLockManagerProfiling::GetRequestTime";
inline const char* const GetReleaseTimeName = "MoxLockManagerProfiling::GetReleaseTime";

typedef support::VectorOfTimers<LockManagerTimers, support::NoVectorOfMeasures> Profiler;

}  // namespace MoxLockManagerProfiling

#endif
