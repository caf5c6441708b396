#include "program_launch.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace quarbe::bench {

Child::Child(const std::vector<std::string>& argv, int outputFd, const std::map<std::string, std::string>& environment) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    const int out = outputFd >= 0 ? outputFd : open("/dev/null", O_WRONLY);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, STDIN_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (pid > 0) {
    setpgid(pid, pid);
    pid_ = pid;
  }
}

Child::~Child() { Stop(); }

void Child::Stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
}

Pty::Pty() {
  char name[256] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
  slavePath_ = name;
  termios raw{};
  tcgetattr(slave_, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave_, TCSANOW, &raw);
  chmod(name, 0666);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

bool Pty::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void Pty::Drain() {
  char buffer[512];
  while (read(master_, buffer, sizeof buffer) > 0) {
  }
}

ProgramHome::ProgramHome(const std::string& settings) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
  std::filesystem::create_directories(path_ + "/.config");
  std::filesystem::create_directories(path_ + "/run");
  std::filesystem::permissions(path_ + "/run", std::filesystem::perms::owner_all);
  std::ofstream(path_ + "/.config/quarbe.ini") << settings;
}

ProgramHome::~ProgramHome() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::map<std::string, std::string> ProgramHome::Environment() const {
  return {{"HOME", path_},
          {"XDG_CONFIG_HOME", path_ + "/.config"},
          {"XDG_RUNTIME_DIR", path_ + "/run"},
          {"QT_QPA_PLATFORM", "offscreen"},
          {"LANG", "C.UTF-8"}};
}

std::string ProgramPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "quarbe").string();
}

std::map<std::string, long> ContextSwitches(pid_t pid) {
  std::map<std::string, long> counts;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(tasks, error)) {
    std::string name;
    std::ifstream(entry.path() / "comm") >> name;
    std::ifstream status(entry.path() / "status");
    long switches = 0;
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        switches += std::stol(line.substr(line.find(':') + 1));
      }
    }
    counts[name] += switches;
    counts["*"] += switches;
  }
  return counts;
}

}  // namespace quarbe::bench
