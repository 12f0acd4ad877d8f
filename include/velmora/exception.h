#pragma once
// Exceptions of the library. Each class puts its label in the language in force when it is
// built, then ": ", in front of the message; labels nest from the outermost base inwards, so a
// ProtocolException reads "execute: protocol: <message>". Copies keep the text unchanged.

#include <exception>
#include <string>

#include <velmora/export.h>

namespace velmora {

/// Common base; holds the full message (UTF-8) and adds no label.
class VELMORA_API Exception : public std::exception {
 public:
  /// Keeps `message` as the whole text.
  explicit Exception(const std::string& message);
  /// The full message, labels included.
  const char* what() const noexcept override;

 private:
  std::string message_;
};

/// Invalid arguments of a constructor ("invalidArguments" / "参数错误").
class VELMORA_API ArgumentException : public Exception {
 public:
  /// The label in the current language, \": \" and `message`.
  explicit ArgumentException(const std::string& message);
};

/// A failure while executing, e.g. a robot type mismatch ("execute" / "执行异常").
class VELMORA_API ExecutionException : public Exception {
 public:
  /// The label in the current language, \": \" and `message`.
  explicit ExecutionException(const std::string& message);
};

/// A connection or socket failure ("network" / "网络异常").
class VELMORA_API NetworkException : public Exception {
 public:
  /// The label in the current language, \": \" and `message`.
  explicit NetworkException(const std::string& message);
};

/// The controller speaks an incompatible protocol ("protocol" / "通信协议错误").
class VELMORA_API ProtocolException : public ExecutionException {
 public:
  /// The label in the current language, \": \" and `message`.
  explicit ProtocolException(const std::string& message);
};

/// A failure of the real-time state stream ("realtime" / "实时模式异常").
class VELMORA_API RealtimeControlException : public Exception {
 public:
  /// The label in the current language, \": \" and `message`.
  explicit RealtimeControlException(const std::string& message);
};

/// A motion error reported in the real-time state ("rtMotion" / "运动错误").
class VELMORA_API RealtimeMotionException : public RealtimeControlException {
 public:
  /// The label in the current language, \": \" and `message`.
  explicit RealtimeMotionException(const std::string& message);
};

/// Misuse of the real-time state, or no state received ("rtState" / "状态错误").
class VELMORA_API RealtimeStateException : public RealtimeControlException {
 public:
  /// The label in the current language, \": \" and `message`.
  explicit RealtimeStateException(const std::string& message);
};

}  // namespace velmora
