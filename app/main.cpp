#include "app/murelo_app.h"

namespace {
murelo::CMureloApp theApp;
}

int main(int argc, char** argv) { return theApp.Run(argc, argv); }
