#ifndef MOX_PROFILING_COUNTER_H
#define MOX_PROFILING_COUNTER_H

#include <string>

namespace support {
namespace profiling {

// Accumulates a count of events.
class Counter {
  public:
    Counter& operator+=(long long delta) {
        count += delta;
        return *this;
    }
    long long getCount() const { return count; }
    std::string getXML(const std::string& name) const {
        return "<" + name + ">" + std::to_string(count) + "</" + name + ">";
    }
    static const char* getTypeName() { return "Counters"; }

  private:
    long long count = 0;
};

}  // namespace profiling
}  // namespace support

#endif
