// Processor time of the program idling on the framebuffer display: battest in a temporary
// directory, on a file-backed framebuffer of 640 x 480 at 32 bits a pixel, with keys from
// a pipe nobody writes to. After two seconds of start-up, the processor time of all its
// threads (from /proc/PID/task/*/schedstat) is taken over the given number of seconds
// (10 by default) and printed as a share of one core.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Nanoseconds the process's threads have run so far.
long long RunTime(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  long long total = 0;
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
      long long ns = 0;
      if (stat >> ns) total += ns;
    }
    closedir(dir);
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  char pattern[] = "/tmp/fb-idle-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  const std::string keys = dir + "/keys";
  if (mkfifo(keys.c_str(), 0600) != 0) return 1;
  const int writer = open(keys.c_str(), O_RDWR);  // held open: the keys never end

  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    const int out = open("output", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int none = open("/dev/null", O_RDONLY);
    dup2(none, 0);
    dup2(out, 1);
    dup2(out, 2);
    setenv("TERMSIM_DISPLAY", "fb", 1);
    setenv("TERMSIM_FB", (dir + "/fb:640x480:32").c_str(), 1);
    setenv("TERMSIM_INPUT", keys.c_str(), 1);
    setenv("TERMSIM_PROPS", (dir + "/props").c_str(), 1);
    execl(BATTEST, BATTEST, static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const auto start = std::chrono::steady_clock::now();
  const long long before = RunTime(child);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const long long after = RunTime(child);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int status = 0;
  const bool running = waitpid(child, &status, WNOHANG) == 0;
  kill(child, SIGTERM);
  waitpid(child, &status, 0);
  close(writer);
  if (!running) {
    std::fprintf(stderr, "battest ended early; see %s/output\n", dir.c_str());
    return 1;
  }
  const double busy = static_cast<double>(after - before) / 1e9;
  std::printf("battest idle on the framebuffer display: %.1f s, processor time %.4f s "
              "(%.3f%% of one core)\n",
              wall, busy, 100.0 * busy / wall);
  for (const char* name : {"/fb", "/keys", "/output", "/data", "/props"}) {
    const std::string path = dir + name;
    unlink(path.c_str());
    rmdir(path.c_str());
  }
  rmdir(dir.c_str());
  return 0;
}
