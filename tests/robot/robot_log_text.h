#pragma once
// Everything the robot logs of the test's scratch folder hold (flushed by a disconnect).

#include <filesystem>
#include <string>

#include "common/temp_dir.h"

inline std::string robotLogText() {
  std::string text;
  for (const auto& entry : std::filesystem::recursive_directory_iterator("_velmora_log_")) {
    if (entry.is_regular_file()) text += readFile(entry.path().string());
  }
  return text;
}
