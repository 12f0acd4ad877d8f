// Blobs that the managed layer hands to the library: any bytes must be decoded or refused with
// std::invalid_argument, never read out of bounds or sized without limit.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/abi_records.h"

namespace {

template <class T>
void tryDecode(const std::uint8_t* data, std::size_t size) {
  try {
    (void)velmora::internal::decoded<T>(data, static_cast<std::int64_t>(size));
  } catch (const std::invalid_argument&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::uint8_t* blob = data + 1;
  const std::size_t n = size - 1;
  switch (data[0] % 6) {
    case 0:
      tryDecode<velmora::CartesianPosition>(blob, n);
      break;
    case 1:
      tryDecode<velmora::CartesianPosition::Offset>(blob, n);
      break;
    case 2:
      tryDecode<std::vector<velmora::CANFrame>>(blob, n);
      break;
    case 3:
      tryDecode<std::vector<velmora::SDOData>>(blob, n);
      break;
    case 4:
      tryDecode<std::vector<std::string>>(blob, n);
      break;
    default:
      tryDecode<std::vector<velmora::CartesianPosition>>(blob, n);
      break;
  }
  return 0;
}
