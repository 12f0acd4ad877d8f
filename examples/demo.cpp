// Prints the library's version and a few error messages in both languages.
#include <velmora/error.h>
#include <velmora/exception.h>
#include <velmora/version.h>

#include <cstdio>

int main() {
  using namespace velmora;
  const VersionInfo& v = internal::sdkVersionInfo();
  std::printf("velmora %s (built %s)\n", v.shortString().c_str(), v.buildTime.c_str());
  for (int lang : {1, 0}) {
    internal::useEnglish = lang;
    std::printf("%s:\n", lang ? "English" : "Chinese");
    for (int code : {0, 256, 263, -3}) {
      std::printf("  %5d  %s\n", code, internal::makeErrorCode(code).message().c_str());
    }
    std::printf("  %s\n", NetworkException("connect to 192.168.0.160:6666 failed").what());
  }
  return 0;
}
