#ifndef MOX_TRACE_H
#define MOX_TRACE_H

#include <exception>

#include "MoxTraceManager.h"
#include "../include/Mox.h"

// One traced call: writes the function's entry when constructed and its exit
// when destroyed, while tracing is on for the call's component. When tracing
// is off it costs one manager look-up and one test, both inline.
class MoxTrace {
  public:
    // functionName must outlive the object: a string literal.
    MoxTrace(MoxComponent component, const char* functionName)
        : functionName(functionName), traceMgr(MoxTraceManager::getInstance()), uncaughtAtEntry(0) {
        if (!traceMgr->isComponentActive(component)) {
            traceMgr = nullptr;
            return;
        }
        uncaughtAtEntry = std::uncaught_exceptions();
        traceMgr->writeStartOfFunction(functionName);
    }
    ~MoxTrace() {
        if (traceMgr != nullptr) {
            traceMgr->writeEndOfFunction(functionName, std::uncaught_exceptions() > uncaughtAtEntry);
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
