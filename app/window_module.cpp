// The program's window, in a module of its own that main loads only when a window is
// wanted: the headless room then never maps Qt's GUI and widget libraries, which would
// cost it a third of its memory.
#include "app/window_module.h"

#include "app/murelo_app.h"

extern "C" int murelo_run_window(char* program, const murelo::CStartRequest* request) {
  static murelo::CMureloApp app;
  return app.Run(program, *request);
}
