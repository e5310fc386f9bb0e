#include <unistd.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/headless_room.h"
#include "app/murelo_app.h"

namespace {
murelo::CMureloApp theApp;
}

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
                           : theApp.Run(argc, argv, request);
}
