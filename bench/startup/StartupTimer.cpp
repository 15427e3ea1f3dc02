// Starts programs that carry the start-up probe, one after the other and in
// turns (A, B, A, B, ...) so that both see the same machine load, and prints
// for every run the probe's marks relative to the moment just before the
// program was started, with the CPU time the whole process used (user and
// system, from wait4).
//
//   startup_timer RUNS WORKDIR NAME=PROGRAM [NAME=PROGRAM ...]
//
// Output, one line per run:
//   run name=NAME wall_ns=.. cpu_ns=.. loaded_ns=.. app_ns=.. shown_ns=.. painted_ns=..
//       main_cpu_ns=..
// where wall_ns is the time to the flushed first paint, cpu_ns the CPU time of
// the whole process and main_cpu_ns that of its main thread up to that paint.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Program
{
    std::string name;
    std::string path;
};

// key=value pairs of the probe's line, or empty when it printed none.
std::map<std::string, long long> probeMarks(const std::string& output)
{
    std::map<std::string, long long> marks;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("probe ", 0) != 0)
            continue;
        std::istringstream words(line.substr(6));
        std::string word;
        while (words >> word) {
            const auto eq = word.find('=');
            if (eq != std::string::npos)
                marks[word.substr(0, eq)] = std::atoll(word.c_str() + eq + 1);
        }
    }
    return marks;
}

// One start of the program; false when it did not report its first paint.
bool runOnce(const Program& program, const std::string& workdir, bool record)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return false;
    const long long start = monotonicNs();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            dup2(devNull, STDERR_FILENO);
        if (chdir(workdir.c_str()) != 0)
            _exit(126);
        execl(program.path.c_str(), program.path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string output;
    char buffer[4096];
    const long long deadline = monotonicNs() + 60LL * 1000000000;
    for (;;) {
        const long long left = (deadline - monotonicNs()) / 1000000;
        if (left <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd pfd{out[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const auto marks = probeMarks(output);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !marks.count("flushed")) {
        std::fprintf(stderr, "%s did not report its first paint (status %d)\n",
                     program.name.c_str(), status);
        return false;
    }
    if (!record)
        return true;
    const long long cpu =
        (static_cast<long long>(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000000 +
        (static_cast<long long>(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * 1000;
    std::printf("run name=%s wall_ns=%lld cpu_ns=%lld", program.name.c_str(),
                marks.at("flushed") - start, cpu);
    for (const char* mark : {"loaded", "app", "shown", "painted"})
        std::printf(" %s_ns=%lld", mark, marks.count(mark) ? marks.at(mark) - start : -1);
    std::printf(" main_cpu_ns=%lld", marks.count("main_cpu") ? marks.at("main_cpu") : -1);
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RUNS WORKDIR NAME=PROGRAM...\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::string workdir = argv[2];
    std::vector<Program> programs;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        if (eq == std::string::npos) {
            std::fprintf(stderr, "not NAME=PROGRAM: %s\n", argv[i]);
            return 2;
        }
        // Absolute, as the programs start in WORKDIR.
        char* path = realpath(arg.c_str() + eq + 1, nullptr);
        if (!path) {
            std::fprintf(stderr, "no such program: %s\n", arg.c_str() + eq + 1);
            return 2;
        }
        programs.push_back({arg.substr(0, eq), path});
        std::free(path);
    }
    // One start of each first, unrecorded: the page cache and the font cache
    // are warm for every recorded run, as for a user's second start.
    for (const Program& program : programs)
        if (!runOnce(program, workdir, false))
            return 1;
    for (int run = 0; run < runs; ++run)
        for (const Program& program : programs)
            if (!runOnce(program, workdir, true))
                return 1;
    return 0;
}
