// Number conversion: atof's results, bit for bit, for any text.
#include "numbers.hpp"

#include <cstdlib>
#include <string>

double decimalValue(std::string_view text) {
  double value;
  return evaluation::plainDecimal(text, value) ? value
                                               : evaluation::atofOf(text);
}

namespace evaluation {

double atofOf(std::string_view text) {
  return std::atof(std::string(text).c_str());
}

}  // namespace evaluation
