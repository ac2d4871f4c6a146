#include "MoxTrace.h"

#include <cstdio>
#include <exception>

#include "MoxTraceManager.h"

void MoxTrace::begin(MoxComponent component, const char* name) {
    MoxTraceManager* manager = MoxTraceManager::getInstance();
    if (!manager->isComponentActive(component)) {
        return;
    }
    traceMgr = manager;
    functionName = name;
    uncaughtAtEntry = std::uncaught_exceptions();
    traceMgr->writeStartOfFunction(functionName);
}

void MoxTrace::end() {
    traceMgr->writeEndOfFunction(functionName, std::uncaught_exceptions() > uncaughtAtEntry);
}

void MoxTrace::traceData(Uint16 tracePoint, Uint32 length1, const void* data1, Uint32 length2, const void* data2,
                         Uint32 length3, const void* data3) {
    if (traceMgr != nullptr) {
        traceMgr->writeTraceRecord(functionName, tracePoint, length1, data1, length2, data2, length3, data3);
    }
}

void MoxTrace::traceNumber(Uint16 tracePoint, const char* description, Uint32 value) {
    if (traceMgr != nullptr) {
        char text[MOX_DIGITS_OF_TYPE(Uint32) + 1];
        snprintf(text, sizeof(text), "%u", value);
        traceMgr->writeTraceRecord(functionName, tracePoint, description, text);
    }
}

void MoxTrace::traceNumber(Uint16 tracePoint, const char* description, Sint32 value) {
    if (traceMgr != nullptr) {
        char text[MOX_DIGITS_OF_TYPE(Sint32) + 1];
        snprintf(text, sizeof(text), "%d", value);
        traceMgr->writeTraceRecord(functionName, tracePoint, description, text);
    }
}

void MoxTrace::traceNumber(Uint16 tracePoint, const char* description, double value) {
    // %lf of a double can need over 300 digits.
    char text[512];
    snprintf(text, sizeof(text), "%lf", value);
    if (traceMgr != nullptr) {
        traceMgr->writeTraceRecord(functionName, tracePoint, description, text);
    }
}

void MoxTrace::traceString(Uint16 tracePoint, const char* text) {
    if (traceMgr != nullptr) {
        traceMgr->writeTraceRecord(functionName, tracePoint, "String", text);
    }
}
