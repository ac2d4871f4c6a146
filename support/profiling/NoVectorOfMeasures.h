#ifndef MOX_PROFILING_NO_VECTOR_OF_MEASURES_H
#define MOX_PROFILING_NO_VECTOR_OF_MEASURES_H

#include <string>

namespace support {

// The empty root of every stack of measure vectors.
class NoVectorOfMeasures {
  public:
    virtual ~NoVectorOfMeasures() {}
    virtual std::string getXML() const { return std::string(); }

  protected:
    // Lets each level bring the operations of the levels below into scope;
    // no measure type selects these.
    struct NoMeasure {};
    void setElementName(NoMeasure) {}
    void getMeasureValueReference(NoMeasure) {}
};

}  // namespace support

#endif
