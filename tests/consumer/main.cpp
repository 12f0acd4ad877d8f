#include <velmora/error.h>
#include <velmora/exception.h>

#include <cstdio>
#include <type_traits>

static_assert(std::is_same_v<decltype(velmora::internal::useEnglish), std::atomic<int>>);

int main() {
  velmora::internal::useEnglish = 1;
  const std::string en = velmora::internal::makeErrorCode(-1).message();
  velmora::internal::useEnglish = 0;
  const std::string zh = velmora::internal::makeErrorCode(-1).message();
  std::printf("%s\n%s\n", en.c_str(), zh.c_str());
  try {
    throw velmora::ProtocolException("3.0.0");
  } catch (const velmora::ExecutionException& e) {
    std::printf("%s\n", e.what());
  }
  return en == "General failure" && zh == "发生错误" ? 0 : 1;
}
