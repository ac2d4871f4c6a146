#ifndef MOX_PROFILING_VECTOR_OF_MEASURES_H
#define MOX_PROFILING_VECTOR_OF_MEASURES_H

#include <string>
#include <utility>
#include <deque>

#include "Counter.h"
#include "NoVectorOfMeasures.h"
#include "Timer.h"

namespace support {

// Named measures of one type, indexed by an enumeration of their owner;
// levels stack through Base, and the measure type given as tag argument
// selects the level of a call.
template <typename Enum, typename Measure, typename Base>
class VectorOfMeasures : public Base {
  public:
    typedef std::pair<Measure, std::string> Element;

    using Base::getMeasureValueReference;
    using Base::setElementName;

    // The first name given to an element stays.
    void setElementName(Enum index, const char* name, const Measure&) {
        Element& element = grow(index);
        if (element.second.empty()) {
            element.second = name;
        }
    }

    Element& getMeasureValueReference(Enum index, const Measure&) { return grow(index); }

    std::string getXML() const override {
        std::string xml = std::string("<") + Measure::getTypeName() + ">\n";
        for (const Element& element : elements) {
            if (element.second.empty()) {
                continue;
            }
            std::string::size_type colon = element.second.rfind(':');
            std::string name = colon == std::string::npos ? element.second : element.second.substr(colon + 1);
            xml += element.first.getXML(name) + "\n";
        }
        xml += std::string("</") + Measure::getTypeName() + ">\n";
        return xml + Base::getXML();
    }

  private:
    Element& grow(Enum index) {
        size_t position = static_cast<size_t>(index);
        if (elements.size() < position + 1) {
            elements.resize(position + 1);
        }
        return elements[position];
    }

    // A deque keeps references to its elements valid while it grows, so a
    // ScopedTimer may outlive the naming of a later element.
    std::deque<Element> elements;
};

template <typename Enum, typename Base>
using VectorOfTimers = VectorOfMeasures<Enum, profiling::Timer, Base>;

template <typename Enum, typename Base>
using VectorOfCounters = VectorOfMeasures<Enum, profiling::Counter, Base>;

}  // namespace support

#endif
