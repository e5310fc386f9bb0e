// Measures the cost of interpreting one chat line on a full conversation (20 members,
// 200 entries, the 200-entry limit), page write included, against writing the same
// page bytes to the same file the plainest way.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"
#include "test_host.h"

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> samples, double fraction) {
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<size_t>(fraction * (samples.size() - 1))];
}

double MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "murelo-bench";
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);

  murelo::test::CTestHost host;  // no event loop: each page write runs within its message
  murelo::CMureloView view(host);
  // Japanese chat text of a typical length.
  const std::string typed =
      "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x81\x41\x8d\xa1\x93\xfa"
      "\x82\xcd\x82\xa2\x82\xa2\x93\x56\x8b\x43\x82\xc5\x82\xb7\x82\xcb";
  for (int i = 0; i < murelo::kMemberRows; ++i) {
    view.ProcessMessage(
        murelo::FillFormat(murelo::kAddCommandFormat, {"#00ffff", "member" + std::to_string(i)}));
  }
  auto chatLine = [&](int i) {
    return murelo::FillFormat(murelo::kChatLineFormat,
                              {"#00ffff", "member" + std::to_string(i % 20),
                               typed + std::to_string(i), "192.168.1." + std::to_string(i % 20)});
  };
  for (int i = 0; i < murelo::kLogCapacity; ++i) view.ProcessMessage(chatLine(i));

  constexpr int kRounds = 2000;
  std::vector<double> process;
  std::vector<double> plain;
  process.reserve(kRounds);
  plain.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    std::string line = chatLine(i);
    Clock::time_point start = Clock::now();
    view.ProcessMessage(std::move(line));
    process.push_back(MicrosecondsSince(start));

    std::FILE* in = std::fopen("data.htm", "rb");
    std::string page(std::filesystem::file_size("data.htm"), '\0');
    const size_t read = std::fread(page.data(), 1, page.size(), in);
    std::fclose(in);
    page.resize(read);

    start = Clock::now();
    std::FILE* out = std::fopen("data.htm", "w");
    std::fwrite(page.data(), 1, page.size(), out);
    std::fclose(out);
    plain.push_back(MicrosecondsSince(start));
  }

  const double processP50 = Percentile(process, 0.5);
  const double plainP50 = Percentile(plain, 0.5);
  std::printf("process_message_p50_us: %.1f us\n", processP50);
  std::printf("process_message_p99_us: %.1f us\n", Percentile(process, 0.99));
  std::printf("page_fwrite_p50_us: %.1f us\n", plainP50);
  std::printf("process_message_ratio: %.2f ratio\n", processP50 / plainP50);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(dir);
  return 0;
}
