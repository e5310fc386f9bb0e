#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/command_line.h"
#include "app/headless_room.h"
#include "app/window_module.h"

namespace {

/// Loads the window module, next to the program in a build tree or in the library
/// directory an installation puts it in, and runs it.
int RunWindow(int argc, char** argv, const murelo::CStartRequest& request) {
  std::error_code error;
  const std::filesystem::path programDir =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
  void* module = nullptr;
  for (const auto& dir : {programDir, programDir / MURELO_INSTALLED_MODULE_DIR}) {
    module = dlopen((dir / murelo::kWindowModuleName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) break;
  }
  if (module == nullptr) {
    std::fprintf(stderr, "murelo: the window module cannot be loaded: %s\n", dlerror());
    return 1;
  }
  auto* run = reinterpret_cast<murelo::RunWindowFunction*>(dlsym(module, murelo::kRunWindowSymbol));
  return run != nullptr ? run(argc, argv, &request) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments += QString::fromLocal8Bit(argv[i]);
  const murelo::CStartRequest request = murelo::ParseCommandLine(arguments);
  if (request.nExitStatus) {
    std::fputs(request.strMessage.c_str(), *request.nExitStatus == 0 ? stdout : stderr);
    return *request.nExitStatus;
  }
  if (!request.strDirectory.empty() && chdir(request.strDirectory.c_str()) != 0) {
    std::fprintf(stderr, "murelo: ディレクトリに移れません: %s\n", request.strDirectory.c_str());
    return murelo::kExitUsage;
  }
  return request.bHeadless ? murelo::RunHeadlessRoom(request, argc, argv)
                           : RunWindow(argc, argv, request);
}
