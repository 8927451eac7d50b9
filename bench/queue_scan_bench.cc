// How long the queue pass takes on a busy hub: 10,000 queue copies against
// 100,000 flow-file lines spread over node and point flow files.
//
//   cmake --build build --target queue_scan_bench && build/bench/queue_scan_bench
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/config_store.h"
#include "platform/exit_cleanup.h"
#include "processor/log.h"
#include "processor/outbound/outbound_session.h"
#include "processor/outbound/queue_scan.h"
#include "tools/config_files.h"

namespace {

constexpr int kQueueFiles = 10000;
constexpr int kFlowFiles = 100;
constexpr int kFlowLines = 100000;

const char kConfig[] =
    "[config]\nqueue_dir = queue/\ntic_outbound_dir = ticout/\nlog_file = pelix.log\n"
    "main_address = 2:5020/100\n"
    "[domain]\nname = fidonet\noutbound_dir = out\nis_default = 1\nhas_main_zone = 1\n"
    "main_zone = 2\nzone_list = 1,2\n";

std::string QueueName(int i) { return Format("F%05d.ZIP", i); }

// Every queue file is named once, in small letters half of the time; the
// other lines name TICs, as real flow files mostly do.
void WriteFlowFiles(int named_files) {
  (void)platform::DefaultEnv().MakeDirectory("out");
  (void)platform::DefaultEnv().MakeDirectory("out.001");
  const int lines_per_file = kFlowLines / kFlowFiles;
  int named = 0;
  for (int f = 0; f < kFlowFiles; ++f) {
    std::string dir = f % 2 ? "out" : "out.001";
    std::string base = dir + Format("/%4.4x%4.4x", 5020, f);
    std::string path = base + ".flo";
    if (f % 5 == 0) {
      (void)platform::DefaultEnv().MakeDirectory(base + ".pnt");
      path = base + ".pnt/00000001.hlo";
    }
    std::string text;
    for (int l = 0; l < lines_per_file; ++l) {
      if (named < named_files && l % 10 == 0) {
        std::string line = "queue/" + QueueName(named++);
        text += (named % 2 ? line : ToLowerAscii(line)) + "\r\n";
      } else {
        text += Format("^ticout/px%06d.tic\r\n", f * lines_per_file + l);
      }
    }
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) std::exit(1);
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
  }
}

double TimeOneScan(platform::Env& env, Log& log) {
  OutboundSession outbound(env, platform::ExitCleanup::OfProcess());
  auto start = std::chrono::steady_clock::now();
  ScanQueue(env, log, outbound);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return took.count();
}

// Builds a node in a fresh directory, runs one scan, reports.
void Measure(const char* label, int named_files) {
  char dir[] = "/tmp/pelix-bench-XXXXXX";
  if (!::mkdtemp(dir) || ::chdir(dir) != 0) std::exit(1);
  ConfigText config;
  std::string error;
  if (!ParseConfigText(kConfig, config, error) || !WriteConfigFiles(config, "")) std::exit(1);
  (void)platform::DefaultEnv().MakeDirectory("queue");
  // Plain fopen: the platform layer's case-insensitive look-up of a name
  // that does not exist yet reads the whole directory, which would make
  // building the queue, not scanning it, the slow part.
  for (int i = 0; i < kQueueFiles; ++i) {
    std::FILE* f = std::fopen(("queue/" + QueueName(i)).c_str(), "w");
    if (!f) std::exit(1);
    std::fclose(f);
  }
  WriteFlowFiles(named_files);
  platform::Env& env = platform::DefaultEnv();
  Configuration loaded;
  if (ReadConfiguration(env, loaded).ends()) std::exit(1);
  ConfigurationInUse in_use(loaded);
  LogFile log(env, loaded.main.log_file);
  double seconds = TimeOneScan(env, log);
  int left = static_cast<int>(env.FindFiles("queue/*.*").size());
  std::fprintf(stderr, "%-28s %6.3f s  (%d of %d queue files kept)\n", label, seconds, left,
               kQueueFiles);
  std::system((std::string("rm -rf ") + dir).c_str());
}

}  // namespace

int main() {
  // The pass reports on the console; only the figures matter here.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  std::fprintf(stderr, "%d queue files, %d flow-file lines in %d flow files\n", kQueueFiles,
               kFlowLines, kFlowFiles);
  Measure("every copy still named:", kQueueFiles);
  Measure("half of them sent:", kQueueFiles / 2);
  return 0;
}
