// Placeholder generator: writes an empty resource table and data directory until the real
// generator lands.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  std::string data, resources;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--data") data = argv[i + 1];
    if (a == "--resources") resources = argv[i + 1];
  }
  if (!data.empty()) std::filesystem::create_directories(data);
  if (!resources.empty()) {
    std::filesystem::create_directories(std::filesystem::path(resources).parent_path());
    std::ofstream f(resources);
    f << "#include \"toolkit/resources.h\"\n"
         "namespace res {\nBlob Find(std::string_view) { return {}; }\n"
         "std::vector<std::string_view> Names() { return {}; }\n}\n";
  }
  return 0;
}
