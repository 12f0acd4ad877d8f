#pragma once
// Blob forms of the records that cross the flat C interface, each in the direction it crosses
// (the managed side holds the other half). Layouts, in field order:
// - frame: trans (3 f64), rpy (3 f64); the matrix does not cross
// - pose: frame, elbow (f64), confData (count, i32 each), external (count, f64 each)
// - offset: type (i32), frame
// - Info: id, mac, version, type (texts), joint_num (i32)
// - WorkToolInfo: name, alias (texts), robotHeld (flag), pos (frame), load (mass, cog, inertia)
// - LogInfo: id (i32), timestamp, logText, repairHint (texts)
// - RLProjectInfo: name (text), taskList (count, texts)
// - SlaveInfo: vendorId, productCode, reversionNumber (u32), slaveAddr (u16), slaveId (u32),
//   alStatus (u16), slaveName (text)
// - StateList: joint_pos (count, f64), cart_pos (pose), digital_signals (count, text + flag),
//   analog_signals (count, text + f64), operation_mode (i32), speed_override (f64)
// - EventInfo: count, then per value its key (text), a tag and the value: 1 i32, 2 f64, 3 text,
//   4 flag, 5 error code (value i32, category i32, message text); values of other types are left
//   out
// - CANFrame: frame_id, frame_format, frame_type (i32), data (count, bytes), frame_valid_length
//   (i32)
// - SDOData: index, sub_index, length, over_time, wait_time, print_data (i32), data (50 bytes)
// - lists: count, then the elements

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include <velmora/ethercat.h>
#include <velmora/event.h>
#include <velmora/robot_records.h>
#include <velmora/types.h>

#include "native/abi_codec.h"

namespace velmora::internal {

// Event value tags.
inline constexpr std::uint8_t kEventInt = 1;
inline constexpr std::uint8_t kEventDouble = 2;
inline constexpr std::uint8_t kEventText = 3;
inline constexpr std::uint8_t kEventFlag = 4;
inline constexpr std::uint8_t kEventError = 5;

// Native to managed.
void encode(BlobWriter& w, const Frame& frame);
void encode(BlobWriter& w, const CartesianPosition& pose);
void encode(BlobWriter& w, const Load& load);
void encode(BlobWriter& w, const Info& info);
void encode(BlobWriter& w, const WorkToolInfo& info);
void encode(BlobWriter& w, const LogInfo& info);
void encode(BlobWriter& w, const RLProjectInfo& info);
void encode(BlobWriter& w, const SlaveInfo& info);
void encode(BlobWriter& w, const StateList& state);
void encode(BlobWriter& w, const EventInfo& info);
void encode(BlobWriter& w, const CANFrame& frame);
void encode(BlobWriter& w, const std::string& text);
void encode(BlobWriter& w, double value);

template <class T>
void encode(BlobWriter& w, const std::vector<T>& list) {
  w.count(list.size());
  for (const T& element : list) encode(w, element);
}

/// A fixed-size array crosses as a list of its size.
template <class T, std::size_t N>
void encode(BlobWriter& w, const std::array<T, N>& list) {
  w.count(N);
  for (const T& element : list) encode(w, element);
}

/// One record as a blob.
template <class T>
std::string encoded(const T& record) {
  BlobWriter w;
  encode(w, record);
  return w.take();
}

// Managed to native.
void decode(BlobReader& r, Frame& frame);
void decode(BlobReader& r, CartesianPosition& pose);
void decode(BlobReader& r, CartesianPosition::Offset& offset);
void decode(BlobReader& r, CANFrame& frame);
void decode(BlobReader& r, SDOData& item);
void decode(BlobReader& r, std::string& text);
void decode(BlobReader& r, double& value);

/// Smallest blob form of an element, to bound a list's count before allocating.
template <class T>
constexpr std::size_t minEncodedSize() {
  if constexpr (std::is_same_v<T, double>)
    return 8;
  else if constexpr (std::is_same_v<T, std::string>)
    return 4;
  else if constexpr (std::is_same_v<T, SDOData>)
    return 6 * 4 + 50;
  else
    return 1;
}

template <class T>
void decode(BlobReader& r, std::vector<T>& list) {
  const std::size_t n = r.count(minEncodedSize<T>());
  list.clear();
  list.reserve(n);
  for (std::size_t i = 0; i < n; ++i) decode(r, list.emplace_back());
}

/// One whole blob as one record; bytes left over are refused.
template <class T>
T decoded(const std::uint8_t* data, std::int64_t size) {
  BlobReader r(data, size);
  T record{};
  decode(r, record);
  r.finish();
  return record;
}

}  // namespace velmora::internal
