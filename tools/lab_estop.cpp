// lab-estop press|release [PID]: works the virtual lab's emergency stop of a
// running console from another terminal, while an action blocks the
// console's own thread. Without a PID it looks for the one process named
// "tendon"; when none runs, it works the stop of the arm kept in the lab
// directory, which the next command there starts with. It signals nothing
// but the lab's own commands: SIGUSR1 ends most other programs.
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lab/lab.h"
#include "labdir/lab_lock.h"
#include "platform/clock.h"
#include "tools/command_line.h"

namespace {

// The programs whose virtual lab answers the two signals.
constexpr const char* kLabCommands[] = {"tendon", "tendon-virtual", "lab-run"};

// The command name of process `pid`, empty when there is no such process.
std::string CommandOf(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string command;
    std::getline(comm, command);
    return command;
}

std::vector<pid_t> ProcessesNamed(const std::string& name) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const pid_t process = static_cast<pid_t>(std::stol(pid));
        if (CommandOf(process) == name) {
            found.push_back(process);
        }
    }
    return found;
}

constexpr const char* kUsage =
    "usage: lab-estop [--dir D] press|release [PID]\n"
    "Presses (SIGUSR1) or releases (SIGUSR2) the virtual emergency stop of a\n"
    "running console; without PID, of the one process named tendon. A PID must\n"
    "be a running tendon or lab-run. Without PID and with no tendon running, it\n"
    "presses or releases the stop of the arm kept in the lab directory D\n"
    "(default .): the next command there starts with it so.\n";

// Works the stop of the arm kept in `dir`, under the directory's lock.
int WorkKeptArm(bool press, const std::string& dir) {
    const auto lock = labdir::LabLock::Take(dir, "lab-estop");
    if (!lock) {
        return 1;
    }
    platform::UseVirtualClock();
    std::string failure = lab::RestoreArm(dir);
    if (failure.empty()) {
        if (press) {
            lab::PressEmergencyStop();
        } else {
            lab::ReleaseEmergencyStop();
        }
        failure = lab::SaveArm(dir);
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "lab-estop: %s\n", failure.c_str());
        return 1;
    }
    std::printf("lab-estop: %s the emergency stop of the arm kept in %s\n",
                press ? "pressed" : "released", dir.c_str());
    return 0;
}

// A whole, positive process id.
bool ParsePid(const std::string& text, pid_t& pid) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value <= 0 || pid_t(value) != value) {
        return false;
    }
    pid = pid_t(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("lab-estop", kUsage);
    std::string dir = ".";
    tools::AddText(app, "--dir", dir);
    std::string given;
    CLI::App* press = app.add_subcommand("press");
    tools::AddText(*press, "PID", given);
    tools::AddText(*app.add_subcommand("release"), "PID", given);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }

    const int signalNumber = *press ? SIGUSR1 : SIGUSR2;
    pid_t target = 0;
    if (!given.empty()) {
        if (!ParsePid(given, target)) {
            return tools::UsageError(app, "PID '" + given + "' is not a positive whole number");
        }
    } else {
        const std::vector<pid_t> consoles = ProcessesNamed("tendon");
        if (consoles.empty()) {
            return WorkKeptArm(signalNumber == SIGUSR1, dir);
        }
        if (consoles.size() > 1) {
            std::fprintf(stderr, "lab-estop: more than one running tendon; give its PID\n");
            return 1;
        }
        target = consoles.front();
    }
    const std::string command = CommandOf(target);
    if (std::find(std::begin(kLabCommands), std::end(kLabCommands), command) ==
        std::end(kLabCommands)) {
        const std::string pid = std::to_string(target);
        const std::string reason =
            command.empty() ? "no process " + pid
                            : "process " + pid + " is " + command + ", not tendon or lab-run";
        std::fprintf(stderr, "lab-estop: %s; nothing signalled\n", reason.c_str());
        return 1;
    }
    if (kill(target, signalNumber) != 0) {
        std::fprintf(stderr, "lab-estop: cannot signal %ld: %s\n", static_cast<long>(target),
                     std::strerror(errno));
        return 1;
    }
    return 0;
}
