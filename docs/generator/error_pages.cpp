// The page of error codes, built from the library's own table so that it cannot drift from it.
// Which operations give a code is taken from the public headers' doc lines: a declaration whose
// doc block names the code is listed beside it.

#include <velmora/errc.h>
#include <velmora/error.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/error_table.h"
#include "generator/pages.h"

namespace velmora::docs {

namespace {

struct NamedCode {
  errc code;
  const char* name;
};

constexpr NamedCode kNames[] = {
    {errc::uninitialized, "uninitialized"},
    {errc::link_down, "link_down"},
    {errc::unreadable_reply, "unreadable_reply"},
    {errc::parameter_out_of_range, "parameter_out_of_range"},
    {errc::invalid_argument, "invalid_argument"},
    {errc::invalid_transformation, "invalid_transformation"},
    {errc::axis_mismatch, "axis_mismatch"},
    {errc::wrong_control_mode, "wrong_control_mode"},
    {errc::timeout, "timeout"},
    {errc::duplicate_operation, "duplicate_operation"},
    {errc::udp_socket, "udp_socket"},
    {errc::connect_failure, "connect_failure"},
    {errc::connection_refused, "connection_refused"},
    {errc::update_file_invalid, "update_file_invalid"},
    {errc::upgrade_failure, "upgrade_failure"},
    {errc::export_failure, "export_failure"},
    {errc::export_partial, "export_partial"},
    {errc::unregistered_event, "unregistered_event"},
    {errc::calibration_error, "calibration_error"},
    {errc::rt_address_invalid, "rt_address_invalid"},
    {errc::rt_fields_unsupported, "rt_fields_unsupported"},
    {errc::move_empty_cache, "move_empty_cache"},
    {errc::robot_stopping, "robot_stopping"},
    {errc::protocol_mismatch, "protocol_mismatch"},
};

// The controller's codes come in ranges, one per area of its software.
struct Group {
  int from;
  int to;
  const char* title;
};

constexpr Group kGroups[] = {
    {0, -1, "Success and general failure"},
    {-3, -20, "Controller state and mode"},
    {-32, -41, "Inverse kinematics"},
    {-257, -290, "Protocol, data keys and files"},
    {-304, -353, "Monitoring, queued commands and recorded paths"},
    {-513, -515, "Switching modes"},
    {-10005, -10141, "Controller settings"},
    {-14010, -17407, "I/O, registers, RL programs and rails"},
    {-28672, -28711, "Real-time mode"},
    {-41400, -41470, "Force control"},
    {-50000, -50533, "Motion planning"},
    {-60005, -60706, "Projects, paths and singularity avoidance"},
    {255, 769, "The library's own codes"},
};

const char* groupOf(int code) {
  for (const Group& g : kGroups) {
    const int high = g.from > g.to ? g.from : g.to;
    const int low = g.from > g.to ? g.to : g.from;
    if (code >= low && code <= high) return g.title;
  }
  return nullptr;
}

// The numbers a doc line names as whole words: "256/257/263" gives three, "3.1.0" none.
std::vector<int> numbersIn(const std::string& text) {
  std::vector<int> found;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) continue;
    std::size_t start = i;
    if (start > 0 && text[start - 1] == '-') --start;
    const bool glued = start > 0 && (std::isalnum(static_cast<unsigned char>(text[start - 1])) != 0 ||
                                     text[start - 1] == '.' || text[start - 1] == '_');
    std::size_t end = i;
    while (end < n && std::isdigit(static_cast<unsigned char>(text[end])) != 0) ++end;
    const bool trailing =
        end < n && (std::isalnum(static_cast<unsigned char>(text[end])) != 0 || text[end] == '_' ||
                    (text[end] == '.' && end + 1 < n && std::isdigit(static_cast<unsigned char>(text[end + 1])) != 0));
    if (!glued && !trailing && end - i <= 6) found.push_back(std::stoi(text.substr(start, end - start)));
    i = end;
  }
  return found;
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The name a declaration line declares: the identifier before its first '('.
std::string declaredName(const std::string& line) {
  const auto paren = line.find('(');
  if (paren == std::string::npos) return "";
  std::size_t end = paren;
  while (end > 0 && line[end - 1] == ' ') --end;
  std::size_t begin = end;
  while (begin > 0 && (std::isalnum(static_cast<unsigned char>(line[begin - 1])) != 0 || line[begin - 1] == '_' ||
                       line[begin - 1] == '~')) {
    --begin;
  }
  return line.substr(begin, end - begin);
}

// code -> "Class::operation" of every declaration whose doc block names the code.
std::map<int, std::set<std::string>> operationsByCode(const std::filesystem::path& headers,
                                                      const std::set<int>& codes) {
  std::map<int, std::set<std::string>> result;
  for (const auto& entry : std::filesystem::directory_iterator(headers)) {
    // The headers that describe the codes rather than give them.
    const std::string file = entry.path().filename().string();
    if (entry.path().extension() != ".h" || file == "error.h" || file == "errc.h") continue;
    std::ifstream in(entry.path());
    std::string line;
    std::string doc;
    std::string owner;
    while (std::getline(in, line)) {
      const std::string t = trim(line);
      if (t.rfind("///", 0) == 0) {
        doc += ' ' + t.substr(3);
        continue;
      }
      // A template's head line belongs to the declaration after it.
      if (t.rfind("template", 0) == 0 && t.back() != ';') continue;
      for (const char* kind : {"class VELMORA_API ", "struct VELMORA_API "}) {
        const auto at = t.find(kind);
        if (at == 0) {
          const std::string rest = t.substr(std::string(kind).size());
          owner = rest.substr(0, rest.find_first_of(" :{"));
        }
      }
      const std::string name = declaredName(t);
      if (!doc.empty() && !name.empty() && t.find('(') != std::string::npos) {
        for (int code : numbersIn(doc)) {
          if (code != 0 && code != -1 && codes.count(code) != 0) {
            result[code].insert(owner.empty() || name == owner ? name : owner + "::" + name);
          }
        }
      }
      if (!t.empty()) doc.clear();
    }
  }
  return result;
}

std::string cell(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '|')
      out += "\\|";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string errorCodesPage(const std::filesystem::path& headers) {
  std::map<int, const char*> names;
  for (const NamedCode& n : kNames) names[static_cast<int>(n.code)] = n.name;
  std::set<int> codes;
  for (std::size_t i = 0; i < internal::kErrorRowCount; ++i) codes.insert(internal::errorRows()[i].code);
  const auto operations = operationsByCode(headers, codes);

  std::ostringstream page;
  page << "# Error codes {#error_codes}\n\n"
       << kGeneratedNote
       << "Every operation that takes a trailing `std::error_code&` reports through it, in the category "
          "\"Tarvik-SDK\". 0 is success; negative values are the controller's own codes, passed on as it "
          "sends them; 255 and up are the library's own, named by `velmora::errc` (`ec == "
          "velmora::errc::timeout`). Five of them also equal a standard condition: 263 and -285 "
          "`std::errc::timed_out`, 256 `std::errc::not_connected`, 267 `std::errc::connection_refused`, "
          "258 and 259 `std::errc::invalid_argument`.\n\n"
          "`ec.message()` gives the Chinese or the English text after the language rule of the "
          "[README](../README.md#language-of-messages). A value the table lacks reads as -1, \"General "
          "failure\". The last column lists the operations whose header lines name the code; besides "
          "them, every operation that sends a request can give 256, 257 and 263, and every operation of a "
          "moved-from object gives 255.\n";
  std::vector<Group> groups(std::begin(kGroups), std::end(kGroups));
  groups.push_back({1, 0, "Other controller codes"});
  for (const Group& group : groups) {
    bool headed = false;
    for (std::size_t i = 0; i < internal::kErrorRowCount; ++i) {
      const internal::ErrorRow& row = internal::errorRows()[i];
      const char* title = groupOf(row.code);
      if (title == nullptr) title = "Other controller codes";
      if (std::string(title) != group.title) continue;
      if (!headed) {
        page << "\n## " << group.title << "\n\n"
             << "| code | name | English | Chinese | given by |\n|---:|---|---|---|---|\n";
        headed = true;
      }
      const auto name = names.find(row.code);
      std::string by;
      const auto ops = operations.find(row.code);
      if (ops != operations.end()) {
        for (const std::string& op : ops->second) by += (by.empty() ? "`" : ", `") + op + "`";
      }
      page << "| " << row.code << " | " << (name != names.end() ? std::string("`") + name->second + "`" : "") << " | "
           << cell(row.en) << " | " << cell(row.zh) << " | " << by << " |\n";
    }
  }

  page << "\n## Real-time motion errors\n\n"
          "`updateRobotState` throws `velmora::RealtimeMotionException` with the text of the first flag set in "
          "the state stream's `errors` field.\n\n| flag | English | Chinese |\n|---:|---|---|\n";
  for (int i = 0; i < 20; ++i) {
    internal::useEnglish = 1;
    const std::string en = internal::realtimeMotionErrorText(i);
    internal::useEnglish = 0;
    page << "| " << i << " | " << cell(en) << " | " << cell(internal::realtimeMotionErrorText(i)) << " |\n";
  }
  return page.str();
}

}  // namespace velmora::docs
