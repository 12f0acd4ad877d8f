#pragma once
// Plain records that cross every interface of the library: frames and poses, joint positions,
// loads and tool sets, and the records that queries return. They hold values exactly as the
// caller or the controller gives them and convert nothing (angles and lengths keep their units).

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <velmora/export.h>

namespace velmora {

/// A frame as translation and roll-pitch-yaw, and independently as a 4x4 matrix. Nothing in the
/// library computes one form from the other, and only `trans`/`rpy` go to the controller.
class VELMORA_API Frame {
 public:
  /// All zero.
  Frame() = default;
  /// Both triples copied; `pos` stays zero.
  Frame(const std::array<double, 3>& trans, const std::array<double, 3>& rpy);
  /// Values 0-2 are the translation, 3-5 the rotation; `pos` stays zero.
  Frame(const std::array<double, 6>& values);

  std::array<double, 3> trans{};  ///< x, y, z in metres
  std::array<double, 3> rpy{};    ///< roll, pitch, yaw in radians
  std::array<double, 16> pos{};   ///< the 4x4 matrix, values in the caller's order
};

/// A pose: a frame plus the elbow angle, the axis configuration and external-axis values.
class VELMORA_API CartesianPosition : public Frame {
 public:
  /// How a motion target is displaced before the move.
  struct Offset {
    /// The frame the offset is given in.
    enum class Type : int {
      none = 0,    ///< no offset
      offs = 1,    ///< offset in the target's reference frame
      relTool = 2  ///< offset in the tool frame
    };
    Type type = Type::none;  ///< none: `frame` is not sent
    Frame frame;             ///< the displacement (metres, radians)
  };

  /// All zero with empty vectors.
  CartesianPosition() = default;
  /// 6 values (translation, then rpy) or 16 values (the matrix, stored in `pos` only, with
  /// `trans` and `rpy` zero). Throws `ArgumentException` for any other count.
  CartesianPosition(std::initializer_list<double> values);

  double elbow = 0.0;            ///< elbow (arm) angle in radians, for 7-axis arms
  std::vector<int> confData;     ///< axis configuration data; empty leaves it to the controller
  std::vector<double> external;  ///< external-axis values (metres or radians per axis)
};

/// Joint values, one per axis, and external-axis values.
class VELMORA_API JointPosition {
 public:
  /// No values.
  JointPosition() = default;
  /// `external` stays empty.
  JointPosition(std::vector<double> joints);

  std::vector<double> joints;    ///< one angle per axis, in radians
  std::vector<double> external;  ///< external-axis values (metres or radians per axis)
};

/// A payload: mass, centre of gravity and inertia.
class VELMORA_API Load {
 public:
  /// No mass.
  Load() = default;
  /// The three values copied.
  Load(double mass, const std::array<double, 3>& cog, const std::array<double, 3>& inertia);

  double mass = 0.0;                ///< kilograms
  std::array<double, 3> cog{};      ///< centre of gravity x, y, z in metres
  std::array<double, 3> inertia{};  ///< principal moments of inertia Ix, Iy, Iz in kg·m²
};

/// The tool set in use: load, the tool's end frame and its reference frame. All zero by default.
class VELMORA_API Toolset {
 public:
  /// All zero.
  Toolset() = default;

  Load load;  ///< the payload the arm carries
  Frame end;  ///< the tool centre point in the flange frame
  Frame ref;  ///< the work object's reference frame in the base frame
};

/// One tool or work object as the controller lists it.
class VELMORA_API WorkToolInfo {
 public:
  /// Empty name, zero frame and load.
  WorkToolInfo() = default;
  /// `alias` stays empty.
  WorkToolInfo(std::string name, bool robotHeld, const Frame& pos, const Load& load);

  std::string name;        ///< "g_tool_<n>"/"g_wobj_<n>" for global entries, else a project's
  std::string alias;       ///< the description shown on the controller
  bool robotHeld = false;  ///< true when the robot holds the object
  Frame pos;               ///< the object's frame (metres, radians)
  Load load;               ///< the object's load
};

/// One entry of the controller's log.
class VELMORA_API LogInfo {
 public:
  /// Levels a log query filters by; `error` is `err` under its full name.
  enum class Level : int { info = 0, warning = 1, err = 2, error = err };

  /// An empty entry.
  LogInfo() = default;
  /// The four values moved in.
  LogInfo(int id, std::string timestamp, std::string logText, std::string repairHint);

  int id = 0;              ///< the entry's error code
  std::string timestamp;   ///< as the controller writes it
  std::string logText;     ///< the entry's text, in the controller's language
  std::string repairHint;  ///< what the controller suggests doing
};

/// One RL project on the controller.
class VELMORA_API RLProjectInfo {
 public:
  /// An unnamed project.
  RLProjectInfo() = default;
  /// `taskList` starts empty. Not explicit, so lists of projects can be written as lists of
  /// names.
  RLProjectInfo(std::string name);

  std::string name;                   ///< the project's name
  std::vector<std::string> taskList;  ///< the project's tasks
};

/// The robot information the controller reports in "sys.info".
struct VELMORA_API Info {
  std::string id;       ///< controller id
  std::string mac;      ///< the controller's MAC address
  std::string version;  ///< controller software version
  std::string type;     ///< robot type
  int joint_num = 0;    ///< number of axes of the arm
};

/// The keys of the arm's keypad, as the controller reports them.
struct VELMORA_API KeyPadState {
  bool key1_state = false;  ///< key 1 pressed
  bool key2_state = false;  ///< key 2 pressed
  bool key3_state = false;  ///< key 3 pressed
  bool key4_state = false;  ///< key 4 pressed
  bool key5_state = false;  ///< key 5 pressed
  bool key6_state = false;  ///< key 6 pressed
  bool key7_state = false;  ///< key 7 pressed
};

/// One frame of the tool-end CAN bus.
struct VELMORA_API CANFrame {
  int frame_id = 0;                ///< the CAN identifier
  int frame_format = 0;            ///< 0 standard, 1 extended
  int frame_type = 0;              ///< 0 and 1 CAN FD, 2 classic CAN
  std::vector<std::uint8_t> data;  ///< the payload bytes
  int frame_valid_length = 0;      ///< number of data values
};

}  // namespace velmora
