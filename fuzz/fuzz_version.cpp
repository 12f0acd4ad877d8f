// Version texts come from the controller ("sys.info"): any bytes must parse without harm.
#include <velmora/version.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const velmora::VersionInfo v(std::string(reinterpret_cast<const char*>(data), size));
  (void)(v < velmora::internal::minControllerVersion());
  (void)v.toString();
  return 0;
}
