#include "velmora_sim/simulator.h"

#include <asio/executor_work_guard.hpp>
#include <asio/ip/address.hpp>

#include <iostream>
#include <stdexcept>
#include <system_error>

#include "tcp_server.h"
#include "velmora_sim/md5.h"
#include "velmora_sim/state_commands.h"

namespace velmora_sim {

namespace {

bool isLowerHexDigest(const Json::Value& value) {
  if (!value.isString()) return false;
  const std::string text = value.asString();
  if (text.size() != 32) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

Simulator::Simulator(SimulatorOptions options)
    : options_(std::move(options)),
      command_(std::make_unique<CommandService>(io_, options_.address, options_.commandPort)),
      file_(std::make_unique<FileService>(io_, options_.address, options_.filePort)),
      upgrade_(options_.upgradeService ? std::make_unique<UpgradeService>(io_, options_.address, options_.upgradePort)
                                       : nullptr),
      state_(std::make_unique<velmora::sim::StatePublisher>(options_.address)),
      rtPort_(std::make_unique<velmora::sim::RtPortListener>()) {
  if (const std::error_code ec = rtPort_->start(options_.address, options_.rtPort)) {
    throw std::system_error(ec, "real-time port " + options_.address + ":" + std::to_string(options_.rtPort));
  }
  serveControllerKeys();
  if (!options_.arm.empty()) becomeArm();
  thread_ = std::thread([this] {
    auto work = asio::make_work_guard(io_);
    for (;;) {
      try {
        io_.run();
        break;
      } catch (const std::exception& e) {
        std::cerr << "velmora-sim: " << e.what() << '\n';
      }
    }
  });
}

Simulator::~Simulator() { stop(); }

UpgradeService& Simulator::upgrade() {
  if (!upgrade_) throw std::logic_error("the simulator serves no upgrade service");
  return *upgrade_;
}

void Simulator::serveControllerKeys() {
  command_->serve(Form::command, "ix.sdk.transferInit", [this](Exchange& x) {
    const Json::Value& announcement = x.request().payload;
    const Json::Value& length = announcement.isObject() ? announcement["len"] : Json::Value::nullSingleton();
    const Json::Value& md5 = announcement.isObject() ? announcement["md5"] : Json::Value::nullSingleton();
    const Json::Value& name = announcement.isObject() ? announcement["name"] : Json::Value::nullSingleton();
    // A length is an integer on the wire; a real, even an integral one, is refused.
    const bool integer = length.type() == Json::intValue || length.type() == Json::uintValue;
    if (!integer || !length.isUInt64() || length.asUInt64() == 0 || !isLowerHexDigest(md5) || !name.isString()) {
      x.reply(-1);
      return;
    }
    file_->announce(length.asUInt64(), [this, digest = md5.asString(), announcement](const std::string& bytes) {
      if (md5Hex(bytes) != digest) return Verdict::error();
      projects_.fileArrived(announcement, bytes);
      return Verdict::success();
    });
    x.reply(0);
  });

  // The stream goes to the address the client names ("eci.ip"), else to where its command
  // connection comes from; the two differ when the client binds its stream to another address.
  command_->serve(Form::set, "eci.ip", [this](Exchange& x) {
    std::error_code ec;
    const Json::Value& ip = x.request().payload;
    if (ip.isString()) asio::ip::make_address(ip.asString(), ec);
    if (ip.isString() && !ec) clientIp_ = ip.asString();
    x.reply(0);
  });

  command_->serve(Form::get, "sys.info", [this](Exchange& x) {
    const ControllerInfo identity = info();
    Json::Value reply(Json::objectValue);
    reply["id"] = identity.id;
    reply["mac"] = identity.mac;
    reply["version"] = identity.version;
    reply["type"] = identity.type;
    reply["joint_num"] = identity.jointCount;
    if (!identity.workType.empty()) reply["work_type"] = identity.workType;
    x.reply(std::move(reply));
  });

  velmora::sim::StateKeySettings settings;
  settings.rtPort = rtPort_->port();
  settings.broadcastPort = options_.broadcastPort;
  settings.intervalOverride = options_.streamInterval;
  auto stateKey = [this, settings](char form) {
    return [this, settings, form](Exchange& x) {
      const auto& request = x.request();
      const std::string& client = clientIp_.empty() ? x.connection()->remoteAddress() : clientIp_;
      const auto reply = velmora::sim::handleStateKey(*state_, settings, form, request.key, request.payload, client);
      x.reply(reply ? *reply : Json::Value(-1));
    };
  };
  command_->serve(Form::set, "eci.fields.out", stateKey('s'));
  command_->serve(Form::get, "eci.port", stateKey('g'));
  command_->serve(Form::set, "eci.port", stateKey('s'));
  command_->serve(Form::command, "eci.pub.start", stateKey('c'));
  command_->serve(Form::command, "eci.pub.stop", stateKey('c'));

  system_.install(*command_);
  system_.linkArm([this] { return arm_.moving(); },
                  [this](const std::array<double, 6>& pose) { arm_.setFlangePose(pose); });
  robotConfig_.install(*command_);
  // A switch changes the mode "sys.mode" reads.
  command_->serve(Form::command, "sys.mode.switch", [this](Exchange& x) {
    const Json::Value& mode = x.request().payload;
    if (mode != "auto" && mode != "manual") return x.reply(-1);
    system_.setOperateMode(mode.asString());
    x.reply(0);
  });
  // The tool set chosen by names is made of the project's entries.
  frames_.install(*command_, [this](const std::string& kind, const std::string& name) {
    return robotConfig_.projectEntry(kind, name);
  });
  cobot_.install(*command_, [this] { return info().jointCount; });
  board_.install(*command_, [this] { return robotConfig_.flangeBoxType(); });
  motion_ = std::make_unique<MotionResponder>(*this);
  motionSettings_ = std::make_unique<MotionSettings>(system_, &arm_);
  motionSettings_->install(*command_);
  ioBoard_.install(*command_, system_);
  arm_.install(*command_, io_);
  arm_.setJointCount(info().jointCount);
  arm_.setTimeScale(options_.timeScale);
  if (options_.followArm) motion_->followArm();
  state_->setSource([this](velmora::sim::StateSample& sample) { arm_.sample(sample); });
  projects_.install(*command_);
  paths_.install(*command_);
}

void Simulator::becomeArm() {
  const arm::ArmModel* model = arm::findArm(options_.arm);
  if (!model) throw std::invalid_argument("no arm of the robot class '" + options_.arm + "'");
  ControllerInfo identity = info();
  identity.type = model->type;
  identity.jointCount = static_cast<int>(model->joints());
  identity.workType = model->collaborative ? "cobot" : "industrial";
  setInfo(identity);
  arm_.setModel(*model);
  Json::Value nominal(Json::arrayValue);
  for (const arm::DhRow& row : model->rows) {
    for (const double value : {row.a, row.alpha, row.d, row.theta}) nominal.append(value);
  }
  Json::Value all = nominal;
  for (std::size_t i = 0; i < model->joints(); ++i) all.append(0.0);  // the joints' offsets
  frames_.setDhParameters(nominal, all);
  Json::Value limits(Json::objectValue);
  limits["enable"] = false;
  for (std::size_t i = 0; i < model->joints(); ++i) {
    limits["lower"].append(model->lower[i]);
    limits["upper"].append(model->upper[i]);
  }
  frames_.setSoftLimit(limits);
  frames_.onSoftLimit([this](const Json::Value& soft) {
    std::vector<double> lower;
    std::vector<double> upper;
    for (const Json::Value& value : soft["lower"]) lower.push_back(value.asDouble());
    for (const Json::Value& value : soft["upper"]) upper.push_back(value.asDouble());
    arm_.setSoftLimits(soft["enable"].asBool(), lower, upper);
  });
  arm_.linkPower([this] { return system_.powered(); });
  arm_.setFrames(frames_.toolset());
  frames_.onToolset([this](const Json::Value& toolset) { arm_.setFrames(toolset); });
  system_.onPowerOff([this] { arm_.powerOff(); });
}

void Simulator::setInfo(ControllerInfo identity) {
  // A controller publishes its own arm's joint fields.
  state_->setFields(static_cast<unsigned>(identity.jointCount), {});
  arm_.setJointCount(identity.jointCount);
  std::lock_guard<std::mutex> lock(infoMutex_);
  info_ = std::move(identity);
}

ControllerInfo Simulator::info() const {
  std::lock_guard<std::mutex> lock(infoMutex_);
  return info_;
}

void Simulator::run(const std::function<void()>& fn) { detail::runOnIo(io_, fn); }

void Simulator::stop() {
  if (!thread_.joinable()) return;
  try {
    run([this] {
      command_->closeAll();
      file_->closeAll();
      if (upgrade_) upgrade_->closeAll();
    });
  } catch (const std::exception& e) {
    std::cerr << "velmora-sim: " << e.what() << '\n';
  }
  io_.stop();
  thread_.join();
  state_->stop();
  rtPort_->stop();
}

}  // namespace velmora_sim
