// A busy hub, timed: pelix forwards TICs to many links, and the run is set
// against the I/O it cannot avoid, measured on the same disk in the same
// run (every file read once for its CRC, copied whole into the queue and
// the file area and forced to disk once, as pelix copies and forces it).
//
//   cmake --build build-rel --target hub_bench pelix     (a Release build)
//   build-rel/bench/hub_bench build-rel/processor/pelix [scenario ...]
//
// Scenarios: data (1,000 TICs x 256 KiB, 20 links, normal and pass-through),
// announce (/A over 10,000 lines; the queue pass has bench/queue_scan_bench),
// meta (2,000 TICs x 1 KiB, 20 links), waiting (meta with 10,000 and 50,000
// px*.tic waiting in the TIC outbound), scale (500, 1,000, 2,000 TICs of
// 1 KiB), strangers (25 and 50 TICs x 1 KiB, 20 links, alone and beside as
// many TICs of one line of a megabyte from an unknown node, all naming a
// file whose numbered copies of 1 MiB, as many again, wait in the
// inbound); smoke (100 TICs, 5 links) only when named. Without a scenario
// all but smoke run. Each prints TICs/s, exports/s, MB/s
// and the ratio to its floor, the best of three runs (--repeat N for
// another count); scale and waiting also print how the time grows with the
// TICs and with the TICs waiting. With --prepare the nodes are only made and
// their directories printed, for running pelix under a profiler.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/tic/file_crc.h"
#include "processor/log.h"
#include "tools/config_files.h"

namespace {

struct Load {
  const char* name;
  int tics;
  size_t file_size;
  int links;
  bool passthrough;
  int waiting_tics;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "hub_bench: %s failed\n", what);
  std::exit(1);
}

// Files removed in the last minutes slow every new file: ext4 without a
// journal hands out a free inode only after a look at each inode its block
// group freed in the last minute (six while that inode's table block is
// unwritten), for as long as that block is in memory. Without care a
// measurement would time the removals before it (the earlier rounds' pelix
// runs empty their inbound, the last benchmark removed its nodes), not
// pelix. So nodes are made in pelix-bench/, marked as the top of a directory
// tree (chattr +T) so that each node gets a block group of its own, and
// before each node everything is written out and the page cache dropped.

// pelix-bench/ under $TMPDIR, else /var/tmp: a spool disk, as a node's
// /var/spool/ftn is; made and marked once. Other file systems ignore the
// mark.
std::string MakeBenchRoot() {
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string root = std::string(tmpdir && *tmpdir ? tmpdir : "/var/tmp") + "/pelix-bench";
  Check(::mkdir(root.c_str(), 0700) == 0 || errno == EEXIST, "mkdir");
  int dir = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Check(dir >= 0, "opening the benchmark directory");
  int flags = 0;
  if (::ioctl(dir, FS_IOC_GETFLAGS, &flags) == 0 && !(flags & FS_TOPDIR_FL)) {
    flags |= FS_TOPDIR_FL;
    (void)::ioctl(dir, FS_IOC_SETFLAGS, &flags);
  }
  ::close(dir);
  return root;
}

// As root only; without the right the figures just vary more.
bool dropped_caches = true;

void ForgetRemovedFiles() {
  ::sync();
  int drop = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
  dropped_caches = dropped_caches && drop >= 0 && ::write(drop, "1", 1) == 1;
  if (drop >= 0) ::close(drop);
}

std::string MakeNode(const Load& load) {
  ForgetRemovedFiles();
  static const std::string root = MakeBenchRoot();
  std::string pattern = root + "/hub-XXXXXX";
  Check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  const std::string dir = pattern + "/";
  std::string text =
      "[config]\ninbound_dir = " + dir + "in/\ntic_outbound_dir = " + dir +
      "ticout/\nqueue_dir = " + dir + "queue/\nfileecho_dir = " + dir +
      "files/\nnetmail_dir = " + dir + "netmail/\nbad_tic_dir = " + dir +
      "bad/\nannounce_db_dir = " + dir + "announce/\nannounce_to = 1\nannounce_target = " + dir +
      "new-files.txt\nlog_file = " + dir +
      "pelix.log\nmain_address = 2:5020/100\n"
      "[domain]\nname = fidonet\noutbound_dir = " + dir +
      "out\nis_default = 1\nhas_main_zone = 1\nmain_zone = 2\nzone_list = 2\n"
      "[echo]\ntag = HUB.ECHO\ndescription = Hub echo\n";
  text += Format("passthrough = %d\n", load.passthrough ? 1 : 0);
  text += "link = 2:5020/1 receive send\n";
  for (int l = 0; l < load.links; ++l) text += Format("link = 2:5021/%d send\n", l + 1);
  text += "[link]\naddress = 2:5020/1\ntic_password = PW\n";
  for (int l = 0; l < load.links; ++l) text += Format("[link]\naddress = 2:5021/%d\nflavour = c\n", l + 1);
  ConfigText config;
  std::string error;
  Check(ParseConfigText(text, config, error), "configuration");
  Check(WriteConfigFiles(config, dir), "writing the configuration");
  for (const char* sub : {"in", "ticout", "queue", "files", "out"})
    Check(platform::DefaultEnv().MakeDirectory(dir + sub), "mkdir");
  return dir;
}

// The arrivals: distinct random files and their TICs from the uplink.
void DropArrivals(const std::string& dir, const Load& load) {
  // Only this process names files there now: each new name needs no look
  // through the ones made before it.
  platform::DefaultEnv().KeepNamesOf(dir + "in/");
  platform::DefaultEnv().KeepNamesOf(dir + "ticout/");
  std::mt19937_64 random(load.tics);
  std::string bytes(load.file_size, '\0');
  for (int i = 0; i < load.tics; ++i) {
    for (size_t b = 0; b + 8 <= bytes.size(); b += 8) {
      uint64_t word = random();
      bytes.replace(b, 8, reinterpret_cast<const char*>(&word), 8);
    }
    const std::string name = Format("F%06d.ZIP", i);
    Check(platform::WriteWholeFile(platform::DefaultEnv(), dir + "in/" + name, bytes), "an arrival");
    const std::string tic = Format(
        "Area HUB.ECHO\r\nOrigin 2:5020/1\r\nFrom 2:5020/1\r\nFile %s\r\nDesc Bench file\r\n"
        "Crc %08X\r\nCreated by hub_bench\r\nPath 2:5020/1 1600000000 Sun Sep 13 12:26:40 2020 "
        "UTC+0000\r\nSeenby 2:5020/1\r\nPw PW\r\n",
        name.c_str(), Crc32Of(bytes));
    Check(platform::WriteWholeFile(platform::DefaultEnv(), dir + Format("in/F%06d.TIC", i), tic), "a TIC");
  }
  for (int i = 0; i < load.waiting_tics; ++i)
    Check(platform::WriteWholeFile(platform::DefaultEnv(), dir + Format("ticout/px%06d.tic", 999999 - i), "waiting"),
          "a waiting TIC");
}

// What any processor must do for these arrivals: read each file once, make
// its queue copy and its area copy (only the queue copy when the echo is
// pass-through) and force them to disk, once per file, as pelix does.
double Floor(const std::string& dir, const Load& load) {
  const std::string floor = dir + "floor/";
  for (const char* sub : {"", "queue", "area"}) Check(platform::DefaultEnv().MakeDirectory(floor + sub), "mkdir");
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < load.tics; ++i) {
    const std::string name = Format("F%06d.ZIP", i);
    (void)FileCrc32(platform::DefaultEnv(), dir + "in/" + name);
    Check(platform::DefaultEnv().CopyFile(dir + "in/" + name, floor + "queue/" + name,
                             platform::Durability::kLater),
          "floor copy");
    if (!load.passthrough)
      Check(platform::DefaultEnv().CopyFile(dir + "in/" + name, floor + "area/" + name,
                               platform::Durability::kLater),
            "floor copy");
    Check(platform::DefaultEnv().SyncFileSystems({floor}), "forcing the floor copies to disk");
  }
  return Seconds(start);
}

// Times a pelix run in `dir`; `cpu` (optional) gets the run's processor
// time, which tells a run that waited for the disk from one the kernel kept
// busy.
double RunPelix(const std::string& pelix, const std::string& dir, const char* option = nullptr,
                double* cpu = nullptr) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(120);
    Check(std::freopen("/dev/null", "w", stdout) != nullptr, "stdout");
    ::execl(pelix.c_str(), pelix.c_str(), option, static_cast<char*>(nullptr));
    ::_exit(121);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  if (cpu)
    *cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  double seconds = Seconds(start);
  Check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the pelix run");
  Check(platform::DefaultEnv().FindFiles(dir + "in/*.tic").empty(), "handling every TIC");
  return seconds;
}

// Set by --prepare: each node is made and left for a profiler, not run.
bool prepare_only = false;
// Set by --settle N: seconds to wait, after forcing everything to disk,
// before each measurement, for the removals before it to age out (see
// above) where the page cache cannot be dropped.
int settle_seconds = 0;

void Settle(const std::string& dir) {
  if (settle_seconds <= 0) return;
  Check(platform::DefaultEnv().SyncFileSystems({dir}), "forcing the node to disk");
  ::sleep(static_cast<unsigned>(settle_seconds));
}
std::vector<std::string> made_nodes;

// Set by --repeat N: each scenario is timed N times, each on a node of its
// own, and the fastest run and the fastest floor count; a measurement that
// another program's disk work slowed down does not make the figure.
int repeats = 3;

// Times `loads` side by side: each round times every load once, so that
// loads to be compared with each other (scale) meet the disk in the same
// state, not one after the other's rounds. Returns each load's fastest run.
std::vector<double> Measure(const std::string& pelix, const std::vector<Load>& loads) {
  struct Best {
    double floor = 0, run = 0, cpu = 0;
  };
  std::vector<Best> best(loads.size());
  for (int repeat = 0; repeat < (prepare_only ? 1 : repeats); ++repeat) {
    for (size_t i = 0; i < loads.size(); ++i) {
      const Load& load = loads[i];
      const std::string dir = MakeNode(load);
      DropArrivals(dir, load);
      // The arrivals are on disk before anything is timed, as a mailer's are.
      Check(platform::DefaultEnv().SyncFileSystems({dir}), "forcing the arrivals to disk");
      if (prepare_only) {  // left for the profiler
        std::printf("%-24s prepared in %s (cd there and run pelix)\n", load.name, dir.c_str());
        continue;
      }
      made_nodes.push_back(dir);
      Settle(dir);
      const double floor = Floor(dir, load);
      double cpu = 0;
      const double run = RunPelix(pelix, dir, nullptr, &cpu);
      Best& b = best[i];
      b.floor = repeat == 0 ? floor : std::min(b.floor, floor);
      if (repeat == 0 || run < b.run) b = Best{b.floor, run, cpu};
    }
  }
  std::vector<double> runs;
  if (prepare_only) return runs;
  for (size_t i = 0; i < loads.size(); ++i) {
    const Load& load = loads[i];
    const Best& b = best[i];
    const double megabytes = static_cast<double>(load.tics) * load.file_size / (1024.0 * 1024.0);
    std::printf("%-24s %6d TICs %7zu B %3d links %6d waiting: %8.2f s  %9.0f TICs/s"
                "  %9.0f exports/s  %8.1f MB/s  floor %6.2f s  ratio %5.2f  (cpu %.2f s)\n",
                load.name, load.tics, load.file_size, load.links, load.waiting_tics, b.run,
                load.tics / b.run, load.tics * static_cast<double>(load.links) / b.run,
                megabytes / b.run, b.floor, b.run / b.floor, b.cpu);
    runs.push_back(b.run);
  }
  std::fflush(stdout);
  return runs;
}

// The nodes go only at the end, so that no scenario pays for another's
// removal (see above).
void RemoveNodes() {
  for (const std::string& dir : made_nodes) {
    std::string command = "rm -rf '" + dir + "'";
    Check(std::system(command.c_str()) == 0, "cleaning up");
  }
  // Written out now, the freed inodes hold up new files for one minute
  // instead of six.
  if (!made_nodes.empty()) ::sync();
}

// What a stranger drops beside a link's arrivals: `count` TICs of one line
// of a megabyte from an unknown node, all naming X.ZIP with a Crc no file
// has, a junk X.ZIP and `count` numbered copies X.ZIP.1... of 1 MiB.
void DropStrangers(const std::string& dir, int count) {
  platform::Env& env = platform::DefaultEnv();
  Check(platform::WriteWholeFile(env, dir + "in/X.ZIP", "junk"), "a stranger's file");
  std::mt19937_64 random(count);
  std::string copy(1 << 20, '\0');
  const std::string line(1000000, 'x');
  for (int i = 0; i < count; ++i) {
    for (size_t b = 0; b + 8 <= copy.size(); b += 8) {
      uint64_t word = random();
      copy.replace(b, 8, reinterpret_cast<const char*>(&word), 8);
    }
    Check(platform::WriteWholeFile(env, dir + Format("in/X.ZIP.%d", i + 1), copy),
          "a numbered copy");
    Check(platform::WriteWholeFile(env, dir + Format("in/S%06d.TIC", i),
                                   "Area HUB.ECHO\r\nFrom 2:9999/1\r\nFile X.ZIP\r\n"
                                   "Crc 12345678\r\nDesc " + line),
          "a stranger's TIC");
  }
}

// A link's TICs alone and beside a stranger's (DropStrangers), the same
// number of each, side by side: what the stranger's cost on top, and how
// that grows with their number.
void MeasureStrangers(const std::string& pelix) {
  std::vector<double> extra, extra_cpu;
  for (int count : {25, 50}) {
    const Load load{"strangers", count, 1024, 20, false, 0};
    double best[2] = {0, 0}, cpu[2] = {0, 0};
    for (int repeat = 0; repeat < (prepare_only ? 1 : repeats); ++repeat) {
      for (int strangers = 0; strangers < 2; ++strangers) {
        const std::string dir = MakeNode(load);
        DropArrivals(dir, load);
        if (strangers) DropStrangers(dir, count);
        Check(platform::DefaultEnv().SyncFileSystems({dir}), "forcing the arrivals to disk");
        if (prepare_only) {
          std::printf("%-24s prepared in %s\n", strangers ? "strangers" : "strangers' links",
                      dir.c_str());
          continue;
        }
        made_nodes.push_back(dir);
        Settle(dir);
        double run_cpu = 0;
        const double run = RunPelix(pelix, dir, nullptr, &run_cpu);
        if (repeat == 0 || run < best[strangers]) {
          best[strangers] = run;
          cpu[strangers] = run_cpu;
        }
      }
    }
    if (prepare_only) continue;
    std::printf("strangers %3d link TICs: %6.2f s (cpu %.2f s); with %d stranger TICs of 1 MB "
                "and %d numbered copies: %6.2f s (cpu %.2f s), ratio %.2f\n",
                count, best[0], cpu[0], count, count, best[1], cpu[1], best[1] / best[0]);
    std::fflush(stdout);  // before a run's fork copies it
    extra.push_back(best[1] - best[0]);
    extra_cpu.push_back(cpu[1] - cpu[0]);
  }
  if (extra.size() == 2)
    std::printf("strangers: twice the strangers cost %.2f times as much (processor time %.2f "
                "times)\n",
                extra[1] / extra[0], extra_cpu[1] / extra_cpu[0]);
  std::fflush(stdout);
}

// /A over a day's arrivals at a hub: 10,000 announce lines in 20 echoes,
// reported into the announce text file, one report per run.
void MeasureAnnounce(const std::string& pelix) {
  const Load load{"announce", 0, 0, 0, false, 0};
  const std::string dir = MakeNode(load);
  Check(platform::DefaultEnv().MakeDirectory(dir + "announce"), "mkdir");
  for (int echo = 0; echo < 20; ++echo) {
    std::string lines;
    for (int i = 0; i < 500; ++i)
      lines += Format("F%06d.ZIP     262144  Bench file number %d of echo %d\r\n", i, i, echo);
    Check(platform::WriteWholeFile(platform::DefaultEnv(), dir + Format("announce/Announce.HUB.E%02d", echo), lines),
          "an announce file");
  }
  // A report holds at most 64,000 characters; each /A run posts one.
  double run = 0;
  int runs = 0;
  while (!platform::DefaultEnv().FindFiles(dir + "announce/Announce.*").empty()) {
    Check(++runs <= 100, "announcing every file");
    run += RunPelix(pelix, dir, "/A");
  }
  std::printf("%-24s  10000 lines: %8.2f s in %d runs of /A  %9.0f lines/s\n", load.name, run,
              runs, 10000 / run);
  std::fflush(stdout);
  made_nodes.push_back(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: hub_bench PELIX [--prepare | --settle SECONDS | --repeat N (3)] "
                 "[data|meta|waiting|announce|scale|strangers|smoke ...]\n");
    return 2;
  }

  char* absolute = ::realpath(argv[1], nullptr);
  Check(absolute != nullptr, "finding pelix");
  const std::string pelix = absolute;
  std::free(absolute);
  std::vector<std::string> chosen(argv + 2, argv + argc);
  while (!chosen.empty() && chosen.front().rfind("--", 0) == 0) {
    const std::string option = chosen.front();
    chosen.erase(chosen.begin());
    if (option == "--prepare") {
      prepare_only = true;
      continue;
    }
    Check(!chosen.empty() && (option == "--settle" || option == "--repeat"), "reading the options");
    (option == "--settle" ? settle_seconds : repeats) = std::atoi(chosen.front().c_str());
    chosen.erase(chosen.begin());
  }
  Check(repeats >= 1, "reading --repeat");
  if (!prepare_only) std::printf("best of %d runs, each on a node of its own\n", repeats);
  std::fflush(stdout);  // before a run's fork copies it
  auto wanted = [&](const char* name) {
    if (chosen.empty()) return true;
    for (const std::string& c : chosen)
      if (c == name) return true;
    return false;
  };
  constexpr size_t kBig = 256 * 1024;
  if (wanted("data")) {
    Measure(pelix, {{"data", 1000, kBig, 20, false, 0}});
    Measure(pelix, {{"data pass-through", 1000, kBig, 20, true, 0}});
  }
  // Side by side: waiting TICs are judged against the run without them.
  std::vector<Load> meta;
  if (wanted("meta")) meta.push_back({"meta", 2000, 1024, 20, false, 0});
  if (wanted("waiting")) {
    meta.push_back({"meta, 10,000 waiting", 2000, 1024, 20, false, 10000});
    meta.push_back({"meta, 50,000 waiting", 2000, 1024, 20, false, 50000});
  }
  std::vector<double> meta_runs;
  if (!meta.empty()) meta_runs = Measure(pelix, meta);
  if (!chosen.empty() && wanted("smoke")) Measure(pelix, {{"smoke", 100, 1024, 5, false, 0}});
  if (wanted("announce")) MeasureAnnounce(pelix);
  if (wanted("strangers")) MeasureStrangers(pelix);
  if (wanted("scale")) {
    const std::vector<double> scale = Measure(pelix, {{"scale", 500, 1024, 20, false, 0},
                                                      {"scale", 1000, 1024, 20, false, 0},
                                                      {"scale", 2000, 1024, 20, false, 0}});
    if (scale.size() == 3)
      std::printf("scale: twice the TICs take %.2f times the time (500 to 1,000), "
                  "%.2f times (1,000 to 2,000)\n",
                  scale[1] / scale[0], scale[2] / scale[1]);
  }
  // The same 2,000 TICs with and without TICs waiting in the TIC outbound.
  if (meta_runs.size() == 3)
    std::printf("waiting: an export takes %.2f times as long with 10,000 TICs waiting, "
                "%.2f times with 50,000\n",
                meta_runs[1] / meta_runs[0], meta_runs[2] / meta_runs[0]);
  if (!prepare_only && !dropped_caches)
    std::printf("(the page cache could not be dropped between rounds: run as root for "
                "steadier figures)\n");
  RemoveNodes();
  return 0;
}
