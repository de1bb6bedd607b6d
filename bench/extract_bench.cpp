// Extraction benchmark: our ZIP core against Debian's 7zz and unzip on the
// same archive, in one run, each as its own process writing real files.
//
//   extract_bench [rounds]                 generate, time, compare, print ratios
//   extract_bench --extract <zip> <dir> [threads]   our core as a command
//   extract_bench --make <zip>             only write the archive
//
// The archive is generated deterministically and shaped like the product's
// setup.zip: about 20 MB unpacked in 70 deflated entries, one of them a
// folder: program-like data, bitmaps, a sound, trajectory text.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "dos_time.h"
#include "extractor/zip/zip_reader.h"
#include "extractor/zip/zip_writer.h"

extern char **environ;

namespace {

using tovra::zip::Archive;
using tovra::zip::Entry;
using tovra::zip::Status;

// ---- the archive -----------------------------------------------------------

struct Rng {
  uint64_t s;
  uint32_t Next() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s >> 33);
  }
};

// Machine-code-like: short random runs mixed with repeats of earlier bytes.
std::string ProgramLike(size_t n, Rng *r) {
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    if (s.size() > 64 && r->Next() % 3 != 0) {
      const size_t back = 1 + r->Next() % std::min<size_t>(s.size() - 1, 4000);
      const size_t len = 3 + r->Next() % 20;
      for (size_t i = 0; i < len && s.size() < n; ++i) s.push_back(s[s.size() - back]);
    } else {
      const size_t len = 1 + r->Next() % 6;
      for (size_t i = 0; i < len && s.size() < n; ++i) s.push_back(static_cast<char>(r->Next()));
    }
  }
  return s;
}

// A 24-bit bitmap: smooth gradients with a little noise.
std::string BitmapLike(int w, int h, Rng *r) {
  std::string s(54, '\0');
  s[0] = 'B';
  s[1] = 'M';
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t n = r->Next() % 4;
      s.push_back(static_cast<char>((x * 255 / w + n) & 0xFF));
      s.push_back(static_cast<char>((y * 255 / h) & 0xFF));
      s.push_back(static_cast<char>(((x + y) / 4 + n) & 0xFF));
    }
  }
  return s;
}

std::string Noise(size_t n, Rng *r) {
  std::string s(n, '\0');
  for (char &c : s) c = static_cast<char>(r->Next() >> 8);
  return s;
}

std::string Trajectory(size_t lines, Rng *r) {
  std::string s;
  for (size_t i = 0; i < lines; ++i) {
    s += std::to_string(i) + "," + std::to_string(r->Next() % 1920) + "," +
         std::to_string(r->Next() % 1080) + ",0.5\r\n";
  }
  return s;
}

std::string MakeArchive() {
  Rng r{20260101};
  std::vector<tovra::zip::WriteEntry> e;
  auto add = [&e](std::string name, std::string data) {
    e.emplace_back();
    e.back().name = std::move(name);
    e.back().data = std::move(data);
  };
  for (int i = 0; i < 18; ++i) {
    add("bin" + std::to_string(i) + (i < 2 ? ".dll" : ".exe"),
        ProgramLike(i < 3 ? 3000000 : 350000, &r));
  }
  for (int i = 0; i < 42; ++i)
    add("skin/img" + std::to_string(i) + ".bmp", BitmapLike(200, 150, &r));
  add("sound.wav", Noise(1200000, &r));
  add("track/", "");
  for (int i = 0; i < 6; ++i) add("track/path" + std::to_string(i) + ".trk", Trajectory(8000, &r));
  add("readme.txt", Trajectory(2000, &r));
  add("TovraClient.dat", std::string(223, 'd'));
  for (auto &w : e) w.dos_date = 0x5A88;
  return tovra::zip::WriteZip(e, 6);
}

// ---- our core as a command -------------------------------------------------

struct FdSink {
  int fd;
};

bool WriteAll(void *ctx, const uint8_t *p, size_t n) {
  const int fd = static_cast<FdSink *>(ctx)->fd;
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool MakeDirs(const std::string &root, const std::vector<std::u16string> &parts, size_t count) {
  std::string path = root;
  for (size_t i = 0; i < count; ++i) {
    path += '/';
    path.append(parts[i].begin(), parts[i].end());  // the bench's names are ASCII
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool PositionalRead(void *ctx, uint64_t offset, uint8_t *buffer, size_t size) {
  const int fd = *static_cast<int *>(ctx);
  while (size > 0) {
    const ssize_t n = pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    buffer += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Same work as 7Z.DLL: the archive read in pieces at given offsets, name
// checks, folders, inflate with size and CRC checks, file times. Entries are
// shared out to `threads` workers, biggest first; folders are made before.
int ExtractCommand(const char *zip_path, const std::string &out, int threads) {
  int fd = open(zip_path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  Archive a;
  if (a.Open(PositionalRead, &fd, static_cast<uint64_t>(st.st_size)) != Status::kOk) return 1;
  mkdir(out.c_str(), 0755);
  const size_t n = a.entries().size();
  std::vector<std::vector<std::u16string>> parts(n);
  std::vector<size_t> order;
  for (size_t i = 0; i < n; ++i) {
    const Entry &e = a.entries()[i];
    std::u16string wide;
    if (!tovra::zip::Utf8ToUtf16(e.name, &wide) || !tovra::zip::SplitSafePath(wide, &parts[i])) {
      return 1;
    }
    if (!MakeDirs(out, parts[i], parts[i].size() - (e.is_directory() ? 0 : 1))) return 1;
    if (!e.is_directory()) order.push_back(i);
  }
  std::sort(order.begin(), order.end(), [&a](size_t x, size_t y) {
    return a.entries()[x].compressed_size > a.entries()[y].compressed_size;
  });
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&]() {
    for (size_t k; (k = next++) < order.size();) {
      const size_t i = order[k];
      std::string path = out;
      for (const auto &p : parts[i]) {
        path += '/';
        path.append(p.begin(), p.end());
      }
      FdSink sink{open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
      if (sink.fd < 0) {
        failed = true;
        continue;
      }
      if (a.Extract(i, WriteAll, &sink) != Status::kOk) failed = true;
      const time_t time = LocalTimeOf(a.entries()[i]);
      const struct timespec times[2] = {{time, 0}, {time, 0}};
      futimens(sink.fd, times);
      if (close(sink.fd) != 0) failed = true;
    }
  };
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) pool.emplace_back(work);
  work();
  for (auto &t : pool) t.join();
  return failed ? 1 : 0;
}

// ---- timing ----------------------------------------------------------------

struct Timing {
  double wall = -1, cpu = -1;  // seconds; cpu is the child's user + system time
};

Timing Run(const std::vector<std::string> &argv) {
  std::vector<char *> args;
  for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  Timing t;
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) return t;
  int status = 0;
  struct rusage ru = {};
  wait4(pid, &status, 0, &ru);
  const auto t1 = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&fa);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return t;
  t.wall = std::chrono::duration<double>(t1 - t0).count();
  t.cpu =
      ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  return t;
}

bool SameTrees(const std::string &a, const std::string &b) {
  return Run({"diff", "-rq", a, b}).wall >= 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--extract") == 0) {
    return ExtractCommand(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 1);
  }
  if (argc == 3 && std::strcmp(argv[1], "--make") == 0) {
    const std::string zip = MakeArchive();
    FILE *f = std::fopen(argv[2], "wb");
    return f && std::fwrite(zip.data(), 1, zip.size(), f) == zip.size() && std::fclose(f) == 0 ? 0
                                                                                               : 1;
  }
  const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 7;
  char tmpl[] = "/tmp/tovra-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  const std::string zip_path = dir + "/setup-like.zip";
  const std::string zip = MakeArchive();
  {
    FILE *f = std::fopen(zip_path.c_str(), "wb");
    if (!f || std::fwrite(zip.data(), 1, zip.size(), f) != zip.size() || std::fclose(f) != 0) {
      return 1;
    }
  }
  Archive a;
  a.Open(reinterpret_cast<const uint8_t *>(zip.data()), zip.size());
  std::printf("archive: %zu entries, %.1f MB unpacked, %.1f MB packed\n", a.entries().size(),
              a.total_uncompressed() / 1e6, zip.size() / 1e6);

  struct Tool {
    const char *name;
    std::vector<std::string> argv;  // the output folder is appended or patched in
    std::vector<double> wall, cpu;
  };
  const std::string self = argv[0];
  std::vector<Tool> tools = {
      {"ours (1 thread)", {self, "--extract", zip_path, "@", "1"}, {}, {}},
      {"ours (2 threads)", {self, "--extract", zip_path, "@", "2"}, {}, {}},
      {"7zz x", {"7zz", "x", "-y", "-bd", "-o@", zip_path}, {}, {}},
      {"unzip -o", {"unzip", "-q", "-o", zip_path, "-d", "@"}, {}, {}},
  };
  // Rounds interleave the tools so that load from elsewhere hits all alike.
  for (int r = 0; r < rounds; ++r) {
    for (size_t t = 0; t < tools.size(); ++t) {
      const std::string out = dir + "/out" + std::to_string(t);
      Run({"rm", "-rf", out});
      std::vector<std::string> cmd = tools[t].argv;
      for (auto &c : cmd) {
        const size_t at = c.find('@');
        if (at != std::string::npos) c.replace(at, 1, out);
      }
      const Timing s = Run(cmd);
      if (s.wall < 0) {
        std::fprintf(stderr, "%s failed\n", tools[t].name);
        return 1;
      }
      tools[t].wall.push_back(s.wall);
      tools[t].cpu.push_back(s.cpu);
    }
  }
  for (size_t t = 1; t < tools.size(); ++t) {
    if (!SameTrees(dir + "/out0", dir + "/out" + std::to_string(t))) {
      std::fprintf(stderr, "output of %s differs from ours\n", tools[t].name);
      return 1;
    }
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
  for (auto &t : tools) {
    std::printf("%-18s wall median %6.1f ms, min %6.1f ms; cpu median %6.1f ms\n", t.name,
                median(t.wall) * 1e3, best(t.wall) * 1e3, median(t.cpu) * 1e3);
  }
  // Ratios to the fastest peer by each measure. The machine may be shared:
  // the wall-clock minimum and the CPU time suffer least from others' load.
  auto ratios = [&](const char *what, auto stat) {
    const double peer = std::min(stat(tools[2]), stat(tools[3]));
    std::printf("%-22s ours/fastest peer: 1 thread %.2f, 2 threads %.2f   (7zz %.2f, unzip %.2f)\n",
                what, stat(tools[0]) / peer, stat(tools[1]) / peer, stat(tools[2]) / peer,
                stat(tools[3]) / peer);
  };
  ratios("wall, median:", [&](const Tool &t) { return median(t.wall); });
  ratios("wall, min:", [&](const Tool &t) { return best(t.wall); });
  ratios("cpu time, median:", [&](const Tool &t) { return median(t.cpu); });
  std::printf("goal: ours <= 0.60 x the fastest peer\n");
  Run({"rm", "-rf", dir});
  return 0;
}
