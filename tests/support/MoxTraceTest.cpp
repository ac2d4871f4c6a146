#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "ChildProcess.h"
#include "MoxSupport.h"

static const MoxComponent componentId = Support;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct TraceEnvironment {
    const char* traceFile = "";
    const char* performanceFile = "";
    const char* mask = "";
    const char* flush = "";
};

void setTraceEnvironment(const TraceEnvironment& settings) {
    setenv("MOX_TRACE_FILE", settings.traceFile, 1);
    setenv("MOX_PERF_FILE", settings.performanceFile, 1);
    setenv("MOX_TRACE_MASK", settings.mask, 1);
    setenv("MOX_TRACE_FLUSH", settings.flush, 1);
}

// Runs body in a child whose trace manager reads the given settings, and
// returns what the child wrote to the trace file at path.
std::string traceOfChild(const TraceEnvironment& settings, const std::function<void()>& body) {
    ChildProcess child([&] {
        setTraceEnvironment(settings);
        body();
        delete MoxTraceManager::getInstance();
        return 0;
    });
    EXPECT_EQ(child.wait(), 0);
    return readFile(settings.traceFile);
}

void inner() {
    MOX_TRACE_ENTRY();
    MOX_TRACE_NUMBER(5, "count", static_cast<Uint32>(42));
}

void outer() {
    MOX_TRACE_ENTRY();
    inner();
    MOX_TRACE_STRING(7, "done");
}

void failing() {
    MOX_TRACE_ENTRY_LOCAL(FileManager);
    MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_FOUND, 1);
}

void throwing() {
    MOX_TRACE_ENTRY_LOCAL(FileManager);
    THROW(MOX_INTERNAL_FAIL);
}

void recursive(int depth) {
    MOX_TRACE_ENTRY();
    if (depth > 1) recursive(depth - 1);
}

class MoxTraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        traceFile = "/tmp/moxtrace." + std::to_string(getpid());
        performanceFile = traceFile + ".perf";
    }
    void TearDown() override {
        remove(traceFile.c_str());
        remove(performanceFile.c_str());
    }
    std::string traceFile;
    std::string performanceFile;
};

}  // namespace

TEST_F(MoxTraceTest, NestedCallsIndentByFourBlanks) {
    std::string trace = traceOfChild({traceFile.c_str()}, [] { outer(); });
    EXPECT_EQ(trace,
              "<Function name=\"void {anonymous}::outer()\" >\n"
              "    <Function name=\"void {anonymous}::inner()\" >\n"
              "        <Probe id=\"5\" description=\"count\">42</Probe>\n"
              "    </Function>\n"
              "    <Probe id=\"7\" description=\"String\">done</Probe>\n"
              "</Function>\n");
}

TEST_F(MoxTraceTest, ExitRecordsShowErrorCodesAndExceptions) {
    std::string trace = traceOfChild({traceFile.c_str(), "", "File"}, [] {
        MoxTrace scope(FileManager, "scope");
        failing();
        try {
            throwing();
        } catch (const MoxException&) {
        }
    });
    EXPECT_EQ(trace,
              "<Function name=\"scope\" >\n"
              "    <Function name=\"void {anonymous}::failing()\" >\n"
              "        <ExitCode rc=\"-93\" />\n"
              "    </Function>\n"
              "    <Function name=\"void {anonymous}::throwing()\" >\n"
              "        <ExitCode rc=\"-93\" />\n"
              "        <Exception>\n"
              "    </Function>\n"
              "    <ExitCode rc=\"-93\" />\n"
              "</Function>\n")
        << "the error object's own Support trace is masked out";
}

TEST_F(MoxTraceTest, DataRecordsDumpHexadecimalAndText) {
    std::string trace = traceOfChild({traceFile.c_str()}, [] {
        MoxTrace scope(Support, "scope");
        const char data[] = "ABCDEFGHIJKLMNOPQR\n";  // 20 bytes with the NUL
        scope.traceData(3, 20, data);
    });
    EXPECT_EQ(trace,
              "<Function name=\"scope\" >\n"
              "    <Data id=\"3\"><![CDATA[\n"
              "    Length: 20 Byte(s)\n"
              "    Hexadecimal representation\n"
              "    41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \n"
              "    51 52 0A 00 \n"
              "\n"
              "    String representation\n"
              "    ABCDEFGHIJKLMNOPQR..\n"
              "\n"
              "    ]]></Data>\n"
              "</Function>\n");
}

TEST_F(MoxTraceTest, RecursionIsCountedPerCallAndTimedOnce) {
    ChildProcess child([this] {
        setTraceEnvironment({"", performanceFile.c_str()});
        {
            MoxTrace entry(Support, "int main(int, char**)");
            recursive(3);
        }
        return 0;
    });
    ASSERT_EQ(child.wait(), 0);
    std::string performance = readFile(performanceFile);
    EXPECT_EQ(performance.rfind("Function timings:\n=================\n", 0), 0u) << performance;
    EXPECT_NE(performance.find("\n         1 calls in 0."), std::string::npos) << performance;
    EXPECT_NE(performance.find("\n         3 calls in 0."), std::string::npos) << performance;
    EXPECT_NE(performance.find(" sec to function \"void {anonymous}::recursive(int)\"\n"), std::string::npos);
}

TEST(MoxTraceManager, MaskSelectsComponentsByKeywordPrefix) {
    struct Case {
        const char* mask;
        Uint16 expected;
    };
    // A mask of nothing that matches traces everything, like an empty one.
    const Case cases[] = {
        {"Lock,Buffer", 0x280}, {"Log", 0x100},           {"Lock", 0x080},        {"Comp", 0x002},
        {"Comm", 0x001},        {"clp", 0x001},           {"Rec,Nothing", 0x020}, {"Nothing,Support", 0x800},
        {"Buf,Fil", 0xfff},     {"Optimizer,Cat", 0x00c},
    };
    for (const Case& item : cases) {
        ChildProcess child([&item] {
            setTraceEnvironment({"/dev/null", "", item.mask});
            MoxTraceManager manager;
            Uint16 mask = 0;
            for (int component = 0; component < MOX_NUMBER_OF_COMPONENTS; ++component) {
                if (manager.isComponentActive(static_cast<MoxComponent>(component))) mask |= 1 << component;
            }
            return mask == item.expected ? 0 : 1;
        });
        EXPECT_EQ(child.wait(), 0) << item.mask;
    }
}

TEST(MoxTraceManager, InactiveWithoutOutputAndAllComponentsWithEmptyMask) {
    ChildProcess child([] {
        setTraceEnvironment({});
        MoxTraceManager silent;
        if (silent.isComponentActive(Support)) return 1;
        setTraceEnvironment({"/dev/null"});
        MoxTraceManager all;
        for (int component = 0; component < MOX_NUMBER_OF_COMPONENTS; ++component)
            if (!all.isComponentActive(static_cast<MoxComponent>(component))) return 2;
        if (all.isComponentActive(static_cast<MoxComponent>(12))) return 3;
        // A trace file that cannot be opened ends the configuration there.
        setTraceEnvironment({"/nonexistent/dir/trace", "/dev/null", "Lock"});
        MoxTraceManager broken;
        return broken.isComponentActive(Support) ? 4 : 0;
    });
    EXPECT_EQ(child.wait(), 0);
}

TEST_F(MoxTraceTest, FlushesAfterEveryWriteOnlyWhenAsked) {
    for (const char* flush : {"1", "yes", "0", "0yes", ""}) {
        bool expectFlush = flush[0] != '\0' && flush[0] != '0';
        EventPipe written;
        EventPipe checked;
        ChildProcess child([&] {
            setTraceEnvironment({traceFile.c_str(), "", "", flush});
            MoxTrace scope(Support, "scope");
            written.notify();
            checked.waitFor(10000);
            return 0;
        });
        ASSERT_TRUE(written.waitFor(10000));
        EXPECT_EQ(readFile(traceFile).empty(), !expectFlush) << "MOX_TRACE_FLUSH=" << flush;
        checked.notify();
        EXPECT_EQ(child.wait(), 0);
    }
}

TEST(MoxTraceTimeValue, AddsWithCarryAndSubtractsWithoutGoingNegative) {
    MoxTraceManager::TimeValue a;
    MoxTraceManager::TimeValue b;
    a.tv_sec = 1;
    a.tv_usec = 999999;
    b.tv_sec = 0;
    b.tv_usec = 1;
    MoxTraceManager::TimeValue sum = a + b;
    EXPECT_EQ(sum.tv_sec, 2);
    EXPECT_EQ(sum.tv_usec, 0);
    MoxTraceManager::TimeValue difference = sum - b;
    EXPECT_EQ(difference.tv_sec, 1);
    EXPECT_EQ(difference.tv_usec, 999999);
    MoxTraceManager::TimeValue negative = b - a;
    EXPECT_EQ(negative.tv_sec, 0);
    EXPECT_EQ(negative.tv_usec, 0);
    a += b;
    EXPECT_EQ(a.tv_sec, 2);
    a.setZero();
    EXPECT_EQ(a.tv_sec + a.tv_usec, 0);
}
