#include "ResultTable.h"

#include <algorithm>
#include <cstdio>

namespace {

// 1234567.8 as "1,234,568".
std::string grouped(double value) {
    const std::string digits = std::to_string(static_cast<long long>(value + 0.5));
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string fixed(double value, int decimals) {
    char text[64];
    snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

// The parts in one table cell: a bar in an engine's message would end it.
std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    std::replace(text.begin(), text.end(), '|', '/');
    return text;
}

}  // namespace

ResultTable::ResultTable(std::vector<std::string> engines, std::string subject)
    : engines(std::move(engines)), subject(std::move(subject)) {}

void ResultTable::add(const std::string& engine, const Measurement& measurement) {
    cells[{measurement.workload, engine}].runs.push_back(measurement);
}

ResultTable::Summary ResultTable::summarize(const Cell& cell) const {
    Summary summary;
    std::vector<Measurement> good;
    std::vector<std::string> retries;
    std::string failure;
    long failed = 0;
    bool retried = false;
    for (const Measurement& run : cell.runs) {
        retries.push_back(std::to_string(run.retries));
        retried = retried || run.retries > 0;
        if (run.failure.empty()) {
            good.push_back(run);
        } else {
            ++failed;
            if (failure.empty()) failure = run.failure;
        }
    }
    std::vector<std::string> remarks;
    if (retried) {
        std::string list;
        for (const std::string& count : retries) list += (list.empty() ? "" : "/") + count;
        remarks.push_back("retries " + list);
    }
    if (failed > 0) {
        remarks.push_back(std::to_string(failed) + " of " + std::to_string(cell.runs.size()) +
                          " runs failed: " + failure);
    }
    summary.remarks = joined(remarks);
    if (good.empty()) return summary;
    std::sort(good.begin(), good.end(),
              [](const Measurement& a, const Measurement& b) { return a.seconds < b.seconds; });
    const Measurement& median = good[good.size() / 2];
    summary.measured = true;
    summary.operationsPerSecond = static_cast<double>(median.operations) / median.seconds;
    summary.microsecondsPerOperation = median.seconds * 1e6 / static_cast<double>(median.operations);
    summary.spread = (good.back().seconds - good.front().seconds) / median.seconds;
    return summary;
}

std::string ResultTable::ratio(const std::string& workload) const {
    double subjectRate = 0;
    double bestRate = 0;
    std::string best;
    for (const std::string& engine : engines) {
        auto found = cells.find({workload, engine});
        if (found == cells.end()) continue;
        Summary summary = summarize(found->second);
        if (!summary.measured) continue;
        if (engine == subject) {
            subjectRate = summary.operationsPerSecond;
        } else if (summary.operationsPerSecond > bestRate) {
            bestRate = summary.operationsPerSecond;
            best = engine;
        }
    }
    if (subjectRate == 0 || bestRate == 0) return "";
    const double quotient = subjectRate / bestRate;
    char text[32];
    // Two significant digits also for small quotients.
    snprintf(text, sizeof(text), quotient < 0.1 ? "%.2g" : "%.2f", quotient);
    return std::string(text) + " (" + best + ")";
}

void ResultTable::printHeading() const {
    printf("| workload | engine | ops/s | us/op | %s / best other | spread | notes |\n", subject.c_str());
    printf("|---|---|--:|--:|--:|--:|---|\n");
    fflush(stdout);
}

void ResultTable::printRows(const std::string& workload) const {
    for (const std::string& engine : engines) {
        auto found = cells.find({workload, engine});
        if (found == cells.end()) continue;
        Summary summary = summarize(found->second);
        std::string rate = summary.measured ? grouped(summary.operationsPerSecond) : "failed";
        std::string cost = summary.measured ? fixed(summary.microsecondsPerOperation, 2) : "";
        std::string spread = summary.measured ? fixed(summary.spread * 100, 0) + "%" : "";
        std::string versus = engine == subject ? ratio(workload) : "";
        printf("| %s | %s | %s | %s | %s | %s | %s |\n", workload.c_str(), engine.c_str(), rate.c_str(), cost.c_str(),
               versus.c_str(), spread.c_str(), summary.remarks.c_str());
    }
    fflush(stdout);
}
