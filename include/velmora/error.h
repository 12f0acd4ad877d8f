#pragma once
// Error codes of the library: one category ("Tarvik-SDK") whose messages come in Chinese or
// English, the numbered messages that exceptions carry, and the process-wide language flag.

#include <array>
#include <atomic>
#include <string>
#include <string_view>
#include <system_error>

#include <velmora/export.h>

namespace velmora {
namespace internal {

/// Process-wide language flag: 0 Chinese, 1 English. Every text is built with the value in
/// force at that moment; it starts at 0 and robot construction sets it from the locale.
/// Safe to read and write from any thread.
extern VELMORA_API std::atomic<int> useEnglish;

/// The library's error category. `message` never throws.
class VELMORA_API ApiErrorCategory final : public std::error_category {
 public:
  /// "Tarvik-SDK".
  const char* name() const noexcept override;
  /// The code's text in the current language (see `useEnglish`); "General failure" or
  /// "发生错误" for a value the table lacks.
  std::string message(int value) const override;
  /// The generic condition of a code that has one (`std::errc::timed_out` for 263 and -285,
  /// `not_connected` for 256, `connection_refused` for 267, `invalid_argument` for 258 and
  /// 259); the code itself in this category otherwise.
  std::error_condition default_error_condition(int value) const noexcept override;
};

/// The one category object; its first use is safe from any thread.
VELMORA_API const ApiErrorCategory& apiErrorCategory() noexcept;

/// An error code of the library's category; 0 means success.
VELMORA_API std::error_code makeErrorCode(int value) noexcept;

/// Text of a numbered message (0..34) in the current language; "" for unused or unknown numbers.
VELMORA_API const char* messageText(int number) noexcept;

/// Text of real-time motion error 0..19 in the current language; "unknown error" otherwise.
VELMORA_API std::string realtimeMotionErrorText(int number);

/// Throws `RealtimeMotionException` for the first flag set (0..19); returns when none is set.
VELMORA_API void checkRealtimeMotionErrors(const std::array<bool, 20>& flags);

/// Whether a locale name denotes Chinese: it contains "936", "CN" or "zh" (case-sensitive).
VELMORA_API bool localeNameIsChinese(std::string_view name) noexcept;

/// Whether the user's locale is Chinese. The name is taken from the environment in POSIX
/// order (LC_ALL, LC_MESSAGES, LANG); no name means English. Never changes the process locale.
VELMORA_API bool isChineseLocale() noexcept;

}  // namespace internal
}  // namespace velmora
