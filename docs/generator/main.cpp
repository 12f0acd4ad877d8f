// velmora-docgen: writes the reference pages made from the library's tables into a folder, or
// with --check compares them with the pages there and fails on any difference.
//   velmora-docgen [--check] <docs folder> <public headers folder>

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "generator/pages.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool check = !args.empty() && args.front() == "--check";
  if (check) args.erase(args.begin());
  if (args.size() != 2) {
    std::cerr << "usage: velmora-docgen [--check] <docs folder> <public headers folder>\n";
    return 2;
  }
  try {
    const std::filesystem::path docs = args[0];
    const std::vector<std::pair<const char*, std::string>> pages = {
        {"error-codes.md", velmora::docs::errorCodesPage(args[1])},
        {"state-fields.md", velmora::docs::stateFieldsPage()},
    };
    int stale = 0;
    for (const auto& [name, text] : pages) {
      const std::filesystem::path path = docs / name;
      if (check) {
        if (readFile(path) != text) {
          std::cerr << path.string() << " differs from the library's tables; rebuild the target docs-pages\n";
          ++stale;
        }
      } else if (readFile(path) != text) {
        std::ofstream(path, std::ios::binary) << text;
        std::cout << "wrote " << path.string() << '\n';
      }
    }
    return stale == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "velmora-docgen: " << e.what() << '\n';
    return 1;
  }
}
