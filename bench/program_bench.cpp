// Starts the program (program_probe, which runs the program's own start-up) a few
// times on the offscreen platform and passes on its figures: startup_ms as the median
// over the runs, the memory figures of the last run.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int, char** argv) {
  const std::string probe =
      (std::filesystem::absolute(argv[0]).parent_path() / "program_probe").string();
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "murelo-program-bench";
  std::filesystem::create_directories(dir);
  constexpr int kRuns = 5;
  std::vector<double> startups;
  std::string lastMemory;
  for (int run = 0; run < kRuns; ++run) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 1;
    const auto startNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    const pid_t child = fork();
    if (child == 0) {
      dup2(pipeFds[1], STDOUT_FILENO);
      close(pipeFds[0]);
      std::filesystem::current_path(dir);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("MURELO_PROBE_START_NS", std::to_string(startNs).c_str(), 1);
      execl(probe.c_str(), probe.c_str(), nullptr);
      _exit(127);
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);

    double startup = 0;
    if (std::sscanf(output.c_str(), "startup_ms: %lf", &startup) != 1) {
      std::fprintf(stderr, "program_probe printed no figures: %s\n", output.c_str());
      return 1;
    }
    startups.push_back(startup);
    lastMemory = output.substr(output.find('\n') + 1);
  }
  std::sort(startups.begin(), startups.end());
  std::printf("startup_ms: %.1f ms\n%s", startups[kRuns / 2], lastMemory.c_str());
  std::filesystem::remove_all(dir);
  return 0;
}
