#include "MoxProgressBar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// 1234567 as "1,234,567".
std::string grouped(long long number) {
    const std::string digits = std::to_string(number);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
        text.push_back(digits[i]);
    }
    return text;
}

std::string duration(double seconds) {
    const long long whole = std::llround(seconds);
    char text[32];
    if (whole < 60) {
        std::snprintf(text, sizeof(text), "%llds", whole);
    } else {
        std::snprintf(text, sizeof(text), "%lldm%02llds", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

MoxProgressBar::MoxProgressBar(std::ostream& out, bool enabled, long long totalBytes)
    : out(out), enabled(enabled), totalBytes(totalBytes), start(std::chrono::steady_clock::now()), lastDraw(start) {}

std::string MoxProgressBar::line(long long rows, long long bytes, long long totalBytes, double seconds) {
    const long long rate = seconds > 0 ? std::llround(static_cast<double>(rows) / seconds) : 0;
    std::string text = grouped(rows) + " rows  " + grouped(rate) + " rows/s";
    if (totalBytes <= 0) {
        return text;
    }
    const double done = std::min(1.0, static_cast<double>(bytes) / static_cast<double>(totalBytes));
    const int width = 30;
    const int filled = static_cast<int>(done * width);
    const int percent = static_cast<int>(done * 100);
    char head[64];
    std::snprintf(head, sizeof(head), "[%s%s] %3d%%  ", std::string(filled, '#').c_str(),
                  std::string(width - filled, '-').c_str(), percent);
    std::string bar = head;
    bar.append(text);
    if (done > 0 && done < 1) {
        bar.append("  ").append(duration(seconds * (1 - done) / done)).append(" left");
    }
    return bar;
}

void MoxProgressBar::draw(long long rows, long long bytes) {
    const auto now = std::chrono::steady_clock::now();
    const std::string text = line(rows, bytes, totalBytes, std::chrono::duration<double>(now - start).count());
    // Blanks over what a longer earlier line left behind.
    out << '\r' << text << std::string(lastLength > text.size() ? lastLength - text.size() : 0, ' ') << std::flush;
    lastLength = text.size();
    lastDraw = now;
}

void MoxProgressBar::update(long long rows, long long bytes) {
    if (enabled && std::chrono::steady_clock::now() - lastDraw >= std::chrono::milliseconds(100)) {
        draw(rows, bytes);
    }
}

void MoxProgressBar::finish(long long rows, long long bytes) {
    if (enabled) {
        draw(rows, bytes);
        out << std::endl;
    }
}
