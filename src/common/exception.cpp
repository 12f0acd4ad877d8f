#include <velmora/exception.h>

#include <velmora/error.h>

namespace velmora {
namespace {

// The label and ": " in the language in force now, in front of the message.
std::string labelled(const char* zh, const char* en, const std::string& message) {
  const bool english = internal::useEnglish.load(std::memory_order_relaxed) != 0;
  std::string text = english ? en : zh;
  text += ": ";
  text += message;
  return text;
}

}  // namespace

Exception::Exception(const std::string& message) : message_(message) {}

const char* Exception::what() const noexcept { return message_.c_str(); }

ArgumentException::ArgumentException(const std::string& message)
    : Exception(labelled("参数错误", "invalidArguments", message)) {}

ExecutionException::ExecutionException(const std::string& message)
    : Exception(labelled("执行异常", "execute", message)) {}

NetworkException::NetworkException(const std::string& message) : Exception(labelled("网络异常", "network", message)) {}

ProtocolException::ProtocolException(const std::string& message)
    : ExecutionException(labelled("通信协议错误", "protocol", message)) {}

RealtimeControlException::RealtimeControlException(const std::string& message)
    : Exception(labelled("实时模式异常", "realtime", message)) {}

RealtimeMotionException::RealtimeMotionException(const std::string& message)
    : RealtimeControlException(labelled("运动错误", "rtMotion", message)) {}

RealtimeStateException::RealtimeStateException(const std::string& message)
    : RealtimeControlException(labelled("状态错误", "rtState", message)) {}

}  // namespace velmora
