#ifndef MOX_TRACE_H
#define MOX_TRACE_H

#include "MoxTraceManager.h"
#include "../include/Mox.h"

// One traced call: writes the function's entry when constructed and its exit
// when destroyed, while tracing is on for the call's component. When the
// process traces nothing it costs one load and one test, inline, on entry
// and on exit: every operation of the system opens one, many per page fix or
// lock request.
class MoxTrace {
  public:
    // functionName must outlive the object: a string literal.
    MoxTrace(MoxComponent component, const char* functionName)
        : functionName(nullptr), traceMgr(nullptr), uncaughtAtEntry(0) {
        if (MoxTraceManager::activity != MoxTraceManager::Silent) [[unlikely]] {
            begin(component, functionName);
        }
    }
    ~MoxTrace() {
        if (traceMgr != nullptr) [[unlikely]] {
            end();
        }
    }
    MoxTrace(const MoxTrace&) = delete;
    MoxTrace& operator=(const MoxTrace&) = delete;

    // A binary data record of up to three blocks; absent blocks write nothing.
    void traceData(Uint16 tracePoint, Uint32 length1, const void* data1, Uint32 length2 = 0,
                   const void* data2 = nullptr, Uint32 length3 = 0, const void* data3 = nullptr);
    void traceNumber(Uint16 tracePoint, const char* description, Uint32 value);
    void traceNumber(Uint16 tracePoint, const char* description, Sint32 value);
    void traceNumber(Uint16 tracePoint, const char* description, double value);
    void traceString(Uint16 tracePoint, const char* text);

    bool isActive() const { return traceMgr != nullptr; }

  private:
    // The manager's question and the entry record, while tracing is not
    // known to be off.
    void begin(MoxComponent component, const char* name);
    void end();

    const char* functionName;
    MoxTraceManager* traceMgr;
    // Exceptions in flight at entry; more at exit means one propagates through.
    int uncaughtAtEntry;
};

#define MOX_TRACE_ENTRY() MoxTrace __traceObject(componentId, __FUNCTION__)
#define MOX_TRACE_ENTRY_LOCAL(compId) MoxTrace __traceObject((compId), __FUNCTION__)
#define MOX_TRACE_ACTIVE() __traceObject.isActive()
// The records are built only while tracing is on: when it is off, the
// arguments are not even evaluated.
#define MOX_TRACE_IF_ACTIVE(call)       \
    do {                                \
        if (__traceObject.isActive()) { \
            __traceObject.call;         \
        }                               \
    } while (0)
#define MOX_TRACE_DATA1(tracePoint, length1, data1) MOX_TRACE_IF_ACTIVE(traceData((tracePoint), (length1), (data1)))
#define MOX_TRACE_DATA2(tracePoint, length1, data1, length2, data2) \
    MOX_TRACE_IF_ACTIVE(traceData((tracePoint), (length1), (data1), (length2), (data2)))
#define MOX_TRACE_DATA3(tracePoint, length1, data1, length2, data2, length3, data3) \
    MOX_TRACE_IF_ACTIVE(traceData((tracePoint), (length1), (data1), (length2), (data2), (length3), (data3)))
#define MOX_TRACE_NUMBER(tracePoint, str, val) MOX_TRACE_IF_ACTIVE(traceNumber((tracePoint), (str), (val)))
#define MOX_TRACE_STRING(tracePoint, str) MOX_TRACE_IF_ACTIVE(traceString((tracePoint), (str)))

#endif
