#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/command_line.h"
#include "app/headless_room.h"
#include "app/history_command.h"
#include "app/window_module.h"

namespace {

/// Loads the window module, next to the program in a build tree or in the library
/// directory an installation puts it in, and runs it.
int RunWindow(char* program, const murelo::CStartRequest& request) {
  std::error_code error;
  const std::filesystem::path programDir =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
  if (error) {  // never a path relative to the working directory, which holds data
    std::fprintf(stderr, "murelo: /proc/self/exe: %s\n", error.message().c_str());
    return 1;
  }
  std::string errors;
  for (const auto& dir : {programDir, programDir / MURELO_INSTALLED_MODULE_DIR}) {
    if (void* module = dlopen((dir / murelo::kWindowModuleName).c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (auto* run =
              reinterpret_cast<murelo::RunWindowFunction*>(dlsym(module, murelo::kRunWindowSymbol)))
        return run(program, &request);
    }
    errors += std::string("\n  ") + dlerror();
  }
  std::fprintf(stderr, "murelo: the window module cannot be loaded:%s\n", errors.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A host holds a descriptor per connection, and more while connections close: the
  // usual soft limit of 1,024 is the hard limit's small part that select() needed.
  rlimit descriptors;
  if (getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur < descriptors.rlim_max) {
    descriptors.rlim_cur = descriptors.rlim_max;
    setrlimit(RLIMIT_NOFILE, &descriptors);
  }
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments += QString::fromLocal8Bit(argv[i]);
  const murelo::CStartRequest request = murelo::ParseCommandLine(arguments);
  if (request.nExitStatus) {
    std::fputs(request.strMessage.c_str(), *request.nExitStatus == 0 ? stdout : stderr);
    return *request.nExitStatus;
  }
  if (request.searchWords) return murelo::RunHistorySearch(request);
  if (request.bForgetHistory) return murelo::RunForgetHistory();
  if (!request.strDirectory.empty() && chdir(request.strDirectory.c_str()) != 0) {
    std::fprintf(stderr, "murelo: ディレクトリに移れません: %s\n", request.strDirectory.c_str());
    return murelo::kExitUsage;
  }
  return request.bHeadless ? murelo::RunHeadlessRoom(request, argv[0])
                           : RunWindow(argv[0], request);
}
