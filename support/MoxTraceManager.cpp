#include "MoxTraceManager.h"

#include <cctype>
#include <cstdlib>

#include "MoxError.h"

namespace {

const int blanksPerLevel = 4;
const Uint32 hexBytesPerLine = 16;
const Uint32 charactersPerLine = 50;
const long microsecondsPerSecond = 1000000;

// Each mask item is compared from its first character with a keyword over
// the given number of characters; the first match wins, so "Lock" must be
// tested before "Log" and "Comm" tells the command line from the compiler.
struct MaskKeyword {
    const char* keyword;
    size_t compared;
    Uint16 bit;
};

const MaskKeyword maskKeywords[] = {
    {"CommandLine", 4, 0x001}, {"clp", 3, 0x001},     {"Compiler", 4, 0x002}, {"Optimizer", 3, 0x004},
    {"Catalog", 3, 0x008},     {"RunTime", 3, 0x010}, {"Record", 3, 0x020},   {"Index", 3, 0x040},
    {"Lock", 4, 0x080},        {"Log", 3, 0x100},     {"Buffer", 4, 0x200},   {"File", 4, 0x400},
    {"Support", 4, 0x800},
};

}  // namespace

MoxTraceManager* MoxTraceManager::instance = nullptr;

MoxTraceManager::TimeValue::TimeValue() : timeval() {
    gettimeofday(this, nullptr);
}

MoxTraceManager::TimeValue MoxTraceManager::TimeValue::operator+(const TimeValue& other) const {
    TimeValue sum(*this);
    sum += other;
    return sum;
}

MoxTraceManager::TimeValue MoxTraceManager::TimeValue::operator-(const TimeValue& other) const {
    TimeValue difference(*this);
    difference.tv_sec -= other.tv_sec;
    difference.tv_usec -= other.tv_usec;
    if (difference.tv_usec < 0) {
        difference.tv_usec += microsecondsPerSecond;
        difference.tv_sec -= 1;
    }
    if (difference.tv_sec < 0) {
        difference.setZero();
    }
    return difference;
}

MoxTraceManager::TimeValue& MoxTraceManager::TimeValue::operator+=(const TimeValue& other) {
    tv_sec += other.tv_sec;
    tv_usec += other.tv_usec;
    if (tv_usec > microsecondsPerSecond - 1) {
        tv_usec -= microsecondsPerSecond;
        tv_sec += 1;
    }
    return *this;
}

void MoxTraceManager::TimeValue::setZero() {
    tv_sec = 0;
    tv_usec = 0;
}

MoxTraceManager* MoxTraceManager::createInstance() {
    instance = new MoxTraceManager();
    activity = instance->traceFile != nullptr || instance->performanceFile != nullptr ? Writing : Silent;
    return instance;
}

void* MoxTraceManager::operator new(size_t size) {
    void* memory = malloc(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void MoxTraceManager::operator delete(void* memory) {
    free(memory);
}

FILE* MoxTraceManager::openOutput(const char* variable, bool& failed) {
    failed = false;
    const char* name = getenv(variable);
    if (name == nullptr || name[0] == '\0') {
        return nullptr;
    }
    if (strcmp(name, "stdout") == 0) {
        return stdout;
    }
    if (strcmp(name, "stderr") == 0) {
        return stderr;
    }
    FILE* file = fopen(name, "w");
    failed = file == nullptr;
    return file;
}

Uint16 MoxTraceManager::parseMask(const char* list) {
    Uint16 mask = 0;
    for (const char* item = list; item != nullptr; item = strchr(item, ',')) {
        if (*item == ',') {
            ++item;
        }
        for (const MaskKeyword& keyword : maskKeywords) {
            if (strncmp(item, keyword.keyword, keyword.compared) == 0) {
                mask |= keyword.bit;
                break;
            }
        }
    }
    return mask;
}

MoxTraceManager::MoxTraceManager()
    : traceFile(nullptr), performanceFile(nullptr), indent(0), traceMask(0), traceFlush(false) {
    // A file that cannot be opened ends the configuration there.
    bool failed = false;
    traceFile = openOutput("MOX_TRACE_FILE", failed);
    if (failed) {
        return;
    }
    performanceFile = openOutput("MOX_PERF_FILE", failed);
    if (failed) {
        return;
    }
    const char* mask = getenv("MOX_TRACE_MASK");
    if (mask != nullptr && mask[0] != '\0') {
        traceMask = parseMask(mask);
    }
    const char* flush = getenv("MOX_TRACE_FLUSH");
    traceFlush = flush != nullptr && flush[0] != '\0' && flush[0] != '0';
}

void MoxTraceManager::closeOutput(FILE* file) {
    if (file != nullptr && file != stdout && file != stderr) {
        fclose(file);
    } else if (file != nullptr) {
        fflush(file);
    }
}

MoxTraceManager::~MoxTraceManager() {
    closeOutput(traceFile);
    closeOutput(performanceFile);
    performanceInfo.clear();
    if (instance == this) {
        instance = nullptr;
        activity = Unknown;
    }
}

void MoxTraceManager::flushIfWanted() {
    if (traceFlush && traceFile != nullptr) {
        fflush(traceFile);
    }
}

void MoxTraceManager::writeStartOfFunction(const char* functionName) {
    if (traceFile != nullptr) {
        fprintf(traceFile, "%*s<Function name=\"%s\" >\n", indent * blanksPerLevel, "", functionName);
        ++indent;
    }
    if (performanceFile != nullptr) {
        bool firstCall = performanceInfo.find(functionName) == performanceInfo.end();
        PerFunctionTimings& timings = performanceInfo[functionName];
        ++timings.numCalled;
        ++timings.nestingLevel;
        if (timings.nestingLevel == 1) {
            if (firstCall) {
                timings.totalTime.setZero();
            }
            timings.entryTime = TimeValue();
        }
    }
    flushIfWanted();
}

void MoxTraceManager::writeEndOfFunction(const char* functionName, bool exceptionPropagating) {
    if (performanceFile != nullptr) {
        PerFunctionTimings& timings = performanceInfo[functionName];
        if (timings.nestingLevel > 0 && --timings.nestingLevel == 0) {
            timings.totalTime += TimeValue() - timings.entryTime;
        }
        if (strncmp(functionName, "int main", 8) == 0 || strncmp(functionName, "main", 4) == 0) {
            dumpPerformanceInfo();
        }
    }
    if (traceFile != nullptr) {
        MoxErrorCode code = MoxError::getErrorObject()->getErrorCode();
        if (code != MOX_SUCCESS) {
            fprintf(traceFile, "%*s<ExitCode rc=\"%d\" />\n", indent * blanksPerLevel, "", static_cast<int>(code));
        }
        if (exceptionPropagating) {
            fprintf(traceFile, "%*s<Exception>\n", indent * blanksPerLevel, "");
        }
        if (indent > 0) {
            --indent;
        }
        fprintf(traceFile, "%*s</Function>\n", indent * blanksPerLevel, "");
    }
    flushIfWanted();
}

void MoxTraceManager::writeTraceRecord(const char*, Sint32 tracePoint, const char* description, const char* data) {
    if (traceFile == nullptr) {
        return;
    }
    fprintf(traceFile, "%*s<Probe id=\"%d\" description=\"%s\">%s</Probe>\n", indent * blanksPerLevel, "", tracePoint,
            description != nullptr ? description : "", data != nullptr ? data : "");
    flushIfWanted();
}

void MoxTraceManager::writeTraceRecord(const char*, Uint16 tracePoint, Uint32 length1, const void* data1,
                                       Uint32 length2, const void* data2, Uint32 length3, const void* data3) {
    if (traceFile == nullptr) {
        return;
    }
    fprintf(traceFile, "%*s<Data id=\"%hu\"><![CDATA[\n", indent * blanksPerLevel, "", tracePoint);
    const void* blocks[] = {data1, data2, data3};
    const Uint32 lengths[] = {length1, length2, length3};
    for (int i = 0; i < 3; ++i) {
        if (blocks[i] != nullptr) {
            writeBinaryData(static_cast<const unsigned char*>(blocks[i]), lengths[i]);
        }
    }
    fprintf(traceFile, "%*s]]></Data>\n", indent * blanksPerLevel, "");
    flushIfWanted();
}

void MoxTraceManager::writeBinaryData(const unsigned char* data, Uint32 length) {
    if (traceFile == nullptr) {
        return;
    }
    int width = indent * blanksPerLevel;
    fprintf(traceFile, "%*sLength: %u Byte(s)\n", width, "", length);

    fprintf(traceFile, "%*sHexadecimal representation", width, "");
    for (Uint32 i = 0; i < length; ++i) {
        if (i % hexBytesPerLine == 0) {
            fprintf(traceFile, "\n%*s", width, "");
        }
        fprintf(traceFile, "%02X ", data[i]);
    }
    fprintf(traceFile, "\n\n");

    fprintf(traceFile, "%*sString representation", width, "");
    for (Uint32 i = 0; i < length; ++i) {
        if (i % charactersPerLine == 0) {
            fprintf(traceFile, "\n%*s", width, "");
        }
        fputc(isprint(data[i]) ? data[i] : '.', traceFile);
    }
    fprintf(traceFile, "\n\n");
}

void MoxTraceManager::dumpPerformanceInfo() {
    if (performanceFile == nullptr) {
        return;
    }
    fprintf(performanceFile, "Function timings:\n=================\n");
    for (const auto& [name, timings] : performanceInfo) {
        fprintf(performanceFile, "%*u calls in %ld.%06ld sec to function \"%s\"\n", 10, timings.numCalled,
                static_cast<long>(timings.totalTime.tv_sec), static_cast<long>(timings.totalTime.tv_usec), name);
    }
    fflush(performanceFile);
}
