#pragma once
// The line an extension operation writes after its request: to the global log first, then the
// same text to the robot's own log, which the command link carries.
//
// Values in a line come from the program and the controller and may be of any size; each is
// printed up to `kLoggedValueLimit` bytes and a longer one is cut there with its full length
// noted ("aaaa… (1048576 bytes)"), so a huge argument costs a short line, not the disk.

#include <fmt/format.h>
#include <spdlog/common.h>
#include <spdlog/logger.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace velmora::internal {

/// Longest text of one value in a log line.
inline constexpr std::size_t kLoggedValueLimit = 256;

/// A value as a log line prints it: cut at `kLoggedValueLimit` bytes. Holds a reference, so it
/// lives only within the formatting call.
template <typename T>
struct LoggedValue {
  const T& value;
};

/// Numbers and enumerations stay as they are (short, and their format options apply); every
/// other value is wrapped in `LoggedValue`.
template <typename T>
decltype(auto) loggedValue(const T& value) noexcept {
  if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
    return (value);
  } else {
    return LoggedValue<T>{value};
  }
}

/// Appends `text`, `total` bytes long in full, to `out`: whole when it fits the limit, else its
/// first bytes up to a character boundary, "…" and the full length.
template <typename OutputIt>
OutputIt writeLoggedText(std::string_view text, std::size_t total, OutputIt out) {
  if (total <= kLoggedValueLimit && text.size() == total) return std::copy(text.begin(), text.end(), out);
  std::size_t cut = std::min(text.size(), kLoggedValueLimit);
  // Not inside a UTF-8 sequence: back to the byte that starts it (at most three back).
  for (int i = 0; i < 3 && cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80;
       ++i) {
    --cut;
  }
  out = std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(cut), out);
  return fmt::format_to(out, "\u2026 ({} bytes)", total);
}

template <typename... Values>
std::string formatLoggedValues(fmt::string_view format, const Values&... values) {
  return fmt::vformat(format, fmt::make_format_args(values...));
}

/// `fmt::format` with every value cut as `LoggedValue` says; the format string is checked
/// against the values' own types.
template <typename... Args>
std::string logLine(fmt::format_string<Args...> format, Args&&... args) {
  return formatLoggedValues(format, loggedValue(args)...);
}

/// Writes `text` at `level` to the global log and then to `robotLog` when there is one. A
/// failing sink is left to the loggers' error handlers; nothing is thrown.
void logOperation(const std::shared_ptr<spdlog::logger>& robotLog, spdlog::level::level_enum level,
                  const std::string& text) noexcept;

/// The same with the text formatted here (by `logLine`), where a failure to format costs only
/// the line.
template <typename... Args>
void logOperation(const std::shared_ptr<spdlog::logger>& robotLog, spdlog::level::level_enum level,
                  fmt::format_string<Args...> format, Args&&... args) noexcept {
  try {
    logOperation(robotLog, level, logLine(format, std::forward<Args>(args)...));
  } catch (...) {
  }
}

}  // namespace velmora::internal

template <typename T>
struct fmt::formatter<velmora::internal::LoggedValue<T>> : fmt::formatter<fmt::string_view> {
  template <typename FormatContext>
  auto format(const velmora::internal::LoggedValue<T>& logged, FormatContext& ctx) const -> decltype(ctx.out()) {
    using velmora::internal::kLoggedValueLimit;
    if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, char*>) {
      const std::string_view text = logged.value == nullptr ? std::string_view("(null)") : logged.value;
      return velmora::internal::writeLoggedText(text, text.size(), ctx.out());
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
      const std::string_view text = logged.value;
      return velmora::internal::writeLoggedText(text, text.size(), ctx.out());
    } else {
      // Formatted into a fixed buffer: past it, only counted.
      char head[kLoggedValueLimit];
      const auto result = fmt::vformat_to_n(head, sizeof head, "{}", fmt::make_format_args(logged.value));
      const std::string_view text(head, std::min(result.size, sizeof head));
      return velmora::internal::writeLoggedText(text, result.size, ctx.out());
    }
  }
};
