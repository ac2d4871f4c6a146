#ifndef MOX_NUMBER_PAIR_H
#define MOX_NUMBER_PAIR_H

#include <istream>
#include <sstream>
#include <string>
#include <type_traits>

// The "a,b" text form shared by LSNs and transaction identifiers.
class MoxNumberPair {
  public:
    MoxNumberPair() = delete;

    // Reads "first,second" with formatted stream extraction: blanks before a
    // number and before the comma are skipped, a missing second number leaves it 0, anything after
    // the second number fails. Both fields are 0 on entry. Returns false when
    // the text is not of that form.
    template <typename First, typename Second>
    static bool parse(const std::string& text, First& first, Second& second) {
        first = 0;
        second = 0;
        std::istringstream stream(text);
        char separator = '\0';
        if (!extract(stream, first) || !(stream >> separator) || separator != ',') {
            return false;
        }
        stream >> std::ws;
        if (stream.eof()) {
            return true;
        }
        return extract(stream, second) && stream.eof();
    }

  private:
    // The stream would take "-1" for an unsigned field as its largest value;
    // a sign is refused there instead.
    template <typename Number>
    static bool extract(std::istream& stream, Number& value) {
        if constexpr (std::is_unsigned_v<Number>) {
            stream >> std::ws;
            if (stream.peek() == '-') {
                stream.setstate(std::ios::failbit);
                return false;
            }
        }
        return static_cast<bool>(stream >> value);
    }
};

#endif
