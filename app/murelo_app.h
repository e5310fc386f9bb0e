// CMureloApp: the application object. It holds the user's settings for the whole run
// (it is a CDataDat) and starts the program: socket support, the window with its
// conversation, the start-of-life steps of the view, and the event loop.
#pragma once

#include <functional>

#include "app/command_line.h"
#include "app/data_dat.h"

namespace murelo {

class CMainFrame;

class CMureloApp : public CDataDat {
 public:
  /// Runs the program (argv[0]) with its window, as request asks; the exit status of
  /// the process.
  /// onShown, when given, is called from the event loop once the window is up (the
  /// benchmarks measure from there).
  int Run(char* program, const CStartRequest& request,
          std::function<void(CMainFrame&)> onShown = {});
};

}  // namespace murelo
