#ifndef MOX_BUFFER_MANAGER_PROFILING_H
#define MOX_BUFFER_MANAGER_PROFILING_H

#include "../support/profiling/VectorOfMeasures.h"

// What the buffer manager measures of its own operations.
namespace MoxBufferManagerProfiling {

enum BufferManagerTimers { GetPageTime = 0, GetNewPageTime = 1, GetFlushAllTime = 2, GetFlushSinglePageTime = 3 };
enum BufferManagerCounters { PhysicalReads = 0, LogicalReads = 1 };

inline const char* const GetPageTimeName = "MoxBufferManagerProfiling::GetPageTime";
inline const char* const GetNewPageTimeName = "MoxBufferManagerProfiling::GetNewPageTime";
inline const char* const GetFlushAllTimeName = "MoxBufferManagerProfiling::GetFlushAllTime";
inline const char* const GetFlushSinglePageTimeName = "MoxBufferManagerProfiling::GetFlushSinglePageTime";
inline const char* const PhysicalReadsName = "MoxBufferManagerProfiling::PhysicalReads";
inline const char* const LogicalReadsName = "MoxBufferManagerProfiling::LogicalReads";

typedef support::VectorOfCounters<BufferManagerCounters,
                                  support::VectorOfTimers<BufferManagerTimers, support::NoVectorOfMeasures>>
    Profiler;

}  // namespace MoxBufferManagerProfiling

#endif
