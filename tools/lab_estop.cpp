// lab-estop press|release [PID]: works the virtual lab's emergency stop of a
// running console from another terminal, while an action blocks the
// console's own thread. Without a PID it looks for the one process named
// "tendon".
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<pid_t> ProcessesNamed(const std::string& name) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        if (std::getline(comm, command) && command == name) {
            found.push_back(static_cast<pid_t>(std::stol(pid)));
        }
    }
    return found;
}

int Usage(std::FILE* out, int status) {
    std::fprintf(out,
                 "usage: lab-estop press|release [PID]\n"
                 "Presses (SIGUSR1) or releases (SIGUSR2) the virtual emergency stop of a\n"
                 "running console; without PID, of the one process named tendon.\n");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        return Usage(stdout, 0);
    }
    if (argc < 2 || argc > 3) {
        return Usage(stderr, 2);
    }
    int signalNumber = 0;
    if (std::strcmp(argv[1], "press") == 0) {
        signalNumber = SIGUSR1;
    } else if (std::strcmp(argv[1], "release") == 0) {
        signalNumber = SIGUSR2;
    } else {
        return Usage(stderr, 2);
    }

    pid_t target = 0;
    if (argc == 3) {
        char* end = nullptr;
        const long pid = std::strtol(argv[2], &end, 10);
        if (*end != '\0' || pid <= 0) {
            return Usage(stderr, 2);
        }
        target = static_cast<pid_t>(pid);
    } else {
        const std::vector<pid_t> consoles = ProcessesNamed("tendon");
        if (consoles.size() != 1) {
            std::fprintf(stderr, "lab-estop: %s running tendon; give its PID\n",
                         consoles.empty() ? "no" : "more than one");
            return 1;
        }
        target = consoles.front();
    }
    if (kill(target, signalNumber) != 0) {
        std::fprintf(stderr, "lab-estop: cannot signal %ld: %s\n", static_cast<long>(target),
                     std::strerror(errno));
        return 1;
    }
    return 0;
}
