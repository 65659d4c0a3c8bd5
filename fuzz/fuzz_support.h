#pragma once
// What the fuzz targets share: a machine root of their own for the process, and a cursor
// that takes pieces of an input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz_support {

// Makes a fresh machine root in a temporary folder and points TAMSIC_MACHINE at it; the
// folder goes when the process ends. Returns its path.
std::string useTemporaryMachine();

// Takes pieces of the input from the front: a number in a range, or text up to a separator.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
  std::size_t number(std::size_t limit);  // 0..limit-1, from one byte; 0 when nothing is left
  std::string_view until(char separator);  // up to the separator (consumed) or the end
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

}  // namespace fuzz_support
