// The concrete robot classes: their constructors and destructors. A connecting constructor
// connects as `connectToRobot(remoteIP, localIP)` does; when it throws, the bases already
// built are destroyed (`~BaseRobot` included), so nothing is left running.

#include <velmora/robots.h>

namespace velmora {

OstraLiteRobot::OstraLiteRobot(const std::string& remoteIP, const std::string& localIP) {
  connectToRobot(remoteIP, localIP);
}
OstraLiteRobot::OstraLiteRobot() = default;
OstraLiteRobot::~OstraLiteRobot() = default;

OstraRobot::OstraRobot(const std::string& remoteIP, const std::string& localIP) { connectToRobot(remoteIP, localIP); }
OstraRobot::OstraRobot() = default;
OstraRobot::~OstraRobot() = default;

OstraMaxRobot::OstraMaxRobot(const std::string& remoteIP, const std::string& localIP) {
  connectToRobot(remoteIP, localIP);
}
OstraMaxRobot::OstraMaxRobot() = default;
OstraMaxRobot::~OstraMaxRobot() = default;

LynRobot::LynRobot(const std::string& remoteIP, const std::string& localIP) { connectToRobot(remoteIP, localIP); }
LynRobot::LynRobot() = default;
LynRobot::~LynRobot() = default;

Sorn3Robot::Sorn3Robot(const std::string& remoteIP) { connectToRobot(remoteIP, ""); }
Sorn3Robot::Sorn3Robot() = default;
Sorn3Robot::~Sorn3Robot() = default;

Sorn4Robot::Sorn4Robot(const std::string& remoteIP) { connectToRobot(remoteIP, ""); }
Sorn4Robot::Sorn4Robot() = default;
Sorn4Robot::~Sorn4Robot() = default;

StandardRobot::StandardRobot(const std::string& remoteIP, const std::string& localIP) {
  connectToRobot(remoteIP, localIP);
}
StandardRobot::StandardRobot() = default;
StandardRobot::~StandardRobot() = default;

}  // namespace velmora
