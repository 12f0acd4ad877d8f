#pragma once
// fmt formatters for the log lines: value types, the library's enumerations and
// std::error_code (its value only, as the "({})" at the end of every operation's line). Include
// this header wherever one of these types is formatted; it also brings fmt's range formatting
// ("[1, 2, 3]", doubles in their shortest round-trip form). Lists of texts go through
// `textList`, which prints them unquoted ("[t1, t2]").
//
// Every formatter parses string format options: no presentation type, 's' or '?' pass, any
// other throws fmt::format_error("invalid type specifier"). AvoidSingularityMethod,
// OperateMode and JogOpt::Space honour fill, alignment and width; the other types write their
// text unchanged. Kept out of the public headers: newer fmt releases bring their own
// std::error_code formatter, and a public one would clash in users' programs.

#include <velmora/enums.h>
#include <velmora/types.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <string_view>
#include <system_error>

#include "common/enum_names.h"

namespace velmora::internal {

/// Parses like a string and writes its text as it is.
struct PlainTextFormatter : fmt::formatter<fmt::string_view> {
  template <typename FormatContext>
  auto write(std::string_view text, FormatContext& ctx) const -> decltype(ctx.out()) {
    return std::copy(text.begin(), text.end(), ctx.out());
  }
};

/// A list of texts as log lines print it, "[t1, t2]": fmt's own range form would quote each
/// text. Holds a reference, so it lives only within the logging call.
template <typename Range>
struct TextList {
  const Range& texts;
};

template <typename Range>
TextList<Range> textList(const Range& texts) noexcept {
  return {texts};
}

/// An enumeration printed by name, unpadded.
template <typename Enum>
struct EnumNameFormatter : PlainTextFormatter {
  template <typename FormatContext>
  auto format(Enum value, FormatContext& ctx) const -> decltype(ctx.out()) {
    return write(enumName(value), ctx);
  }
};

/// An enumeration printed by name under the parsed format options (width and alignment apply).
template <typename Enum>
struct PaddedEnumNameFormatter : fmt::formatter<fmt::string_view> {
  template <typename FormatContext>
  auto format(Enum value, FormatContext& ctx) const -> decltype(ctx.out()) {
    const std::string_view name = enumName(value);
    return fmt::formatter<fmt::string_view>::format(fmt::string_view(name.data(), name.size()), ctx);
  }
};

}  // namespace velmora::internal

template <>
struct fmt::formatter<velmora::Frame> : velmora::internal::PlainTextFormatter {
  template <typename FormatContext>
  auto format(const velmora::Frame& frame, FormatContext& ctx) const -> decltype(ctx.out()) {
    return fmt::format_to(ctx.out(), "trans:{}, rpy:{}", frame.trans, frame.rpy);
  }
};

template <>
struct fmt::formatter<velmora::CartesianPosition> : velmora::internal::PlainTextFormatter {
  template <typename FormatContext>
  auto format(const velmora::CartesianPosition& pose, FormatContext& ctx) const -> decltype(ctx.out()) {
    if (pose.confData.empty()) return fmt::format_to(ctx.out(), "trans:{}, rpy:{}", pose.trans, pose.rpy);
    return fmt::format_to(ctx.out(), "trans:{}, rpy:{}, conf:{}", pose.trans, pose.rpy, pose.confData);
  }
};

template <>
struct fmt::formatter<velmora::CartesianPosition::Offset> : velmora::internal::PlainTextFormatter {
  template <typename FormatContext>
  auto format(const velmora::CartesianPosition::Offset& offset, FormatContext& ctx) const -> decltype(ctx.out()) {
    if (offset.type == velmora::CartesianPosition::Offset::Type::none) return ctx.out();
    return fmt::format_to(ctx.out(), "offset:{} {}", velmora::internal::enumName(offset.type), offset.frame);
  }
};

template <>
struct fmt::formatter<velmora::Load> : velmora::internal::PlainTextFormatter {
  template <typename FormatContext>
  auto format(const velmora::Load& load, FormatContext& ctx) const -> decltype(ctx.out()) {
    return fmt::format_to(ctx.out(), "m:{}, cog:{}", load.mass, load.cog);
  }
};

template <>
struct fmt::formatter<velmora::Toolset> : velmora::internal::PlainTextFormatter {
  template <typename FormatContext>
  auto format(const velmora::Toolset& toolset, FormatContext& ctx) const -> decltype(ctx.out()) {
    return fmt::format_to(ctx.out(), "end:{}, ref:{}, load:{}", toolset.end, toolset.ref, toolset.load);
  }
};

template <typename Range>
struct fmt::formatter<velmora::internal::TextList<Range>> : velmora::internal::PlainTextFormatter {
  template <typename FormatContext>
  auto format(const velmora::internal::TextList<Range>& list, FormatContext& ctx) const -> decltype(ctx.out()) {
    return fmt::format_to(ctx.out(), "[{}]", fmt::join(list.texts, ", "));
  }
};

template <>
struct fmt::formatter<std::error_code> : velmora::internal::PlainTextFormatter {
  template <typename FormatContext>
  auto format(const std::error_code& ec, FormatContext& ctx) const -> decltype(ctx.out()) {
    return fmt::format_to(ctx.out(), "{}", ec.value());
  }
};

template <>
struct fmt::formatter<velmora::AvoidSingularityMethod>
    : velmora::internal::PaddedEnumNameFormatter<velmora::AvoidSingularityMethod> {};
template <>
struct fmt::formatter<velmora::OperateMode> : velmora::internal::PaddedEnumNameFormatter<velmora::OperateMode> {};
template <>
struct fmt::formatter<velmora::JogOpt::Space> : velmora::internal::PaddedEnumNameFormatter<velmora::JogOpt::Space> {};
template <>
struct fmt::formatter<velmora::MotionControlMode> : velmora::internal::EnumNameFormatter<velmora::MotionControlMode> {};
template <>
struct fmt::formatter<velmora::DragParameter::Space>
    : velmora::internal::EnumNameFormatter<velmora::DragParameter::Space> {};
template <>
struct fmt::formatter<velmora::DragParameter::Type>
    : velmora::internal::EnumNameFormatter<velmora::DragParameter::Type> {};
template <>
struct fmt::formatter<velmora::StopLevel> : velmora::internal::EnumNameFormatter<velmora::StopLevel> {};
template <>
struct fmt::formatter<velmora::FlangeboxOpt::Vout> : velmora::internal::EnumNameFormatter<velmora::FlangeboxOpt::Vout> {
};
