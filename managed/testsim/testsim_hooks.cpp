// The simulator, the library hooks and the dummy handles of the test-only C interface.

#include <velmora/error.h>
#include <velmora/exception.h>

#include <json/value.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "native/abi_core.h"
#include "testsim/testsim_sim.h"
#include "testsim/velmora_testsim.h"
#include "velmora_sim/wire.h"

using namespace velmora::internal;

struct vts_dummy final : LiveHandle {};

namespace {

std::atomic<std::int64_t> dummiesHolding{0};
std::atomic<std::int64_t> dummiesDestroyed{0};

std::string compact(const Json::Value& value) {
  std::string text = velmora_sim::frame(value);
  text.pop_back();
  return text;
}

}  // namespace

extern "C" {

int32_t vts_sim_start(const char* address, vts_sim** sim) noexcept {
  return abiCall([&] {
    auto& out = required(sim, "sim");
    auto handle = std::make_unique<vts_sim>();
    velmora_sim::SimulatorOptions options;
    options.address = textArg(address);
    handle->sim = std::make_unique<velmora_sim::Simulator>(options);
    out = handle.release();
  });
}

int32_t vts_sim_stop(vts_sim* sim) noexcept {
  return abiCall([&] { delete sim; });
}

int32_t vts_sim_script_reply(vts_sim* sim, const char* form, const char* key, const char* json, int32_t times,
                             int32_t delay_ms) noexcept {
  return abiCall([&] {
    auto& s = *required(sim, "sim").sim;
    Json::Value value;
    if (!velmora_sim::parseJson(textArg(json), value)) {
      throw std::invalid_argument("not JSON: " + textArg(json));
    }
    auto step = velmora_sim::Behaviour::reply(value).after(std::chrono::milliseconds(delay_ms));
    if (times > 0) step = step.times(times);
    const std::string member = textArg(form);
    if (member.empty()) {
      s.command().script(textArg(key), step);
      return;
    }
    const velmora_sim::Form f = velmora_sim::formOf(member);
    if (f == velmora_sim::Form::other) throw std::invalid_argument("no such form: " + member);
    s.command().script(f, textArg(key), step);
  });
}

int32_t vts_sim_request_count(vts_sim* sim, const char* key, int64_t* count) noexcept {
  return abiCall([&] {
    required(count, "count") = static_cast<int64_t>(required(sim, "sim").sim->command().log().count(textArg(key)));
  });
}

int32_t vts_sim_last_payload(vts_sim* sim, const char* key, vel_buf** json) noexcept {
  return abiCall([&] {
    const auto records = required(sim, "sim").sim->command().log().withKey(textArg(key));
    putBuffer(json, records.empty() ? std::string() : compact(records.back().payload));
  });
}

int32_t vts_sim_requests(vts_sim* sim, int64_t first, vel_buf** lines) noexcept {
  return abiCall([&] {
    const auto records = required(sim, "sim").sim->command().log().all();
    std::string text;
    for (std::size_t i = static_cast<std::size_t>(std::max<int64_t>(first, 0)); i < records.size(); ++i) {
      text += velmora_sim::formMember(records[i].form);
      text += ' ' + records[i].key + ' ' + compact(records[i].payload) + '\n';
    }
    putBuffer(lines, std::move(text));
  });
}

int32_t vts_sim_unused_steps(vts_sim* sim, vel_buf** text) noexcept {
  return abiCall([&] {
    std::string lines;
    for (const std::string& step : required(sim, "sim").sim->command().unusedSteps()) {
      lines += step;
      lines += '\n';
    }
    putBuffer(text, std::move(lines));
  });
}

int32_t vts_set_language(int32_t english, int32_t* previous) noexcept {
  return abiCall([&] {
    const int old = useEnglish.exchange(english != 0 ? 1 : 0);
    if (previous != nullptr) *previous = old;
  });
}

int32_t vts_throw(int32_t kind, const char* text) noexcept {
  return abiCall([&] {
    switch (kind) {
      case 0:
        throw std::runtime_error(textArg(text));
      case 1:
        throw velmora::NetworkException(textArg(text));
      default:
        throw 42;
    }
  });
}

int32_t vts_make_error(int32_t value, int32_t category, vel_err* ec) noexcept {
  return abiCall([&] {
    if (category != VEL_CATEGORY_SYSTEM && category != VEL_CATEGORY_SDK) {
      throw std::invalid_argument("no such category: " + std::to_string(category));
    }
    required(ec, "ec") =
        toVelErr(category == VEL_CATEGORY_SDK ? makeErrorCode(value) : std::error_code(value, std::system_category()));
  });
}

int32_t vts_text_echo(const char* text, vel_buf** out) noexcept {
  return abiCall([&] { putBuffer(out, textArg(text)); });
}

int32_t vts_bytes_echo(const uint8_t* data, int64_t length, vel_buf** out) noexcept {
  return abiCall([&] {
    if (length < 0 || (data == nullptr && length != 0)) throw std::invalid_argument("bad bytes");
    putBuffer(out, length == 0 ? std::string()
                               : std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length)));
  });
}

int32_t vts_dummy_create(vts_dummy** dummy) noexcept {
  return abiCall([&] { required(dummy, "dummy") = new vts_dummy(); });
}

int32_t vts_dummy_destroy(vts_dummy* dummy) noexcept {
  return abiCall([&] {
    if (dummy == nullptr) return;
    delete dummy;
    dummiesDestroyed.fetch_add(1);
  });
}

int32_t vts_dummy_hold(vts_dummy* dummy, int32_t ms) noexcept {
  return abiCall([&] {
    required(dummy, "dummy");
    dummiesHolding.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    dummiesHolding.fetch_sub(1);
  });
}

int32_t vts_dummy_stats(int64_t* holding, int64_t* destroyed) noexcept {
  return abiCall([&] {
    required(holding, "holding") = dummiesHolding.load();
    required(destroyed, "destroyed") = dummiesDestroyed.load();
  });
}

}  // extern "C"
