#ifndef MOX_TRACE_MANAGER_H
#define MOX_TRACE_MANAGER_H

#include <sys/time.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>

#include "../include/Mox.h"

// The process's trace writer: an indented, XML-like trace of function entries
// and exits and a performance summary of calls and times per function.
// Configured once from MOX_TRACE_FILE, MOX_PERF_FILE, MOX_TRACE_MASK and
// MOX_TRACE_FLUSH; created on first use and never deleted during the run.
class MoxTraceManager {
  public:
    // A time of day in seconds and microseconds; default-constructed it holds
    // the current time.
    struct TimeValue : public timeval {
        TimeValue();
        TimeValue operator+(const TimeValue& other) const;
        // Never negative: a negative difference gives 0.
        TimeValue operator-(const TimeValue& other) const;
        TimeValue& operator+=(const TimeValue& other);
        void setZero();
    };

    struct PerFunctionTimings {
        Uint32 numCalled = 0;
        Uint32 nestingLevel = 0;
        TimeValue totalTime;
        TimeValue entryTime;
    };

    // Byte-wise ordering of function names.
    struct StringLessThan {
        bool operator()(const char* a, const char* b) const { return strcmp(a, b) < 0; }
    };

    static MoxTraceManager* getInstance() { return instance != nullptr ? instance : createInstance(); }

    // What the process's manager writes: not known before it exists,
    // nothing at all, or a trace or performance file. Silent lets every
    // trace object pass without asking the manager.
    enum Activity : Uint8 { Unknown, Silent, Writing };
    static inline Activity activity = Unknown;

    // Built with the C library's allocator, so that tracing works in code
    // that runs while the C++ allocator is replaced or instrumented.
    static void* operator new(size_t size);
    static void operator delete(void* memory);

    MoxTraceManager();
    ~MoxTraceManager();
    MoxTraceManager(const MoxTraceManager&) = delete;
    MoxTraceManager& operator=(const MoxTraceManager&) = delete;

    bool isComponentActive(MoxComponent component) const {
        if (traceFile == nullptr && performanceFile == nullptr) {
            return false;
        }
        if (static_cast<unsigned>(component) >= MOX_NUMBER_OF_COMPONENTS) {
            return false;
        }
        return traceMask == 0 || (traceMask & (1U << component)) != 0;
    }
    void writeStartOfFunction(const char* functionName);
    void writeEndOfFunction(const char* functionName, bool exceptionPropagating = false);
    void writeTraceRecord(const char* function, Sint32 tracePoint, const char* description, const char* data);
    void writeTraceRecord(const char* function, Uint16 tracePoint, Uint32 length1, const void* data1, Uint32 length2,
                          const void* data2, Uint32 length3, const void* data3);
    void writeBinaryData(const unsigned char* data, Uint32 length);
    void dumpPerformanceInfo();

  private:
    static MoxTraceManager* createInstance();
    static FILE* openOutput(const char* variable, bool& failed);
    static Uint16 parseMask(const char* list);
    void flushIfWanted();
    void closeOutput(FILE* file);

    FILE* traceFile;
    FILE* performanceFile;
    Uint16 indent;
    std::map<const char*, PerFunctionTimings, StringLessThan> performanceInfo;
    Uint16 traceMask;
    bool traceFlush;

    static MoxTraceManager* instance;
};

#endif
