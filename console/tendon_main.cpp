// tendon, the operator console. It works in its current directory, which
// holds NeuralFiles/ and Resources/Drawing1.3ds, and takes no arguments but
// --help and --version, which answer before the cards are opened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cards/card_session.h"
#include "console/console.h"
#include "console/test_probe.h"
#include "labdir/lab_lock.h"
#include "runs/runs.h"
#include "version/version.h"

#ifndef TENDON_TEST_BUILD
namespace {

constexpr const char* kUsage =
    "Usage: tendon\n"
    "\n"
    "The operator console of the arm: a 3D view with live readouts, a control\n"
    "panel to generate trajectories, home the arm, move motors and muscles by\n"
    "hand and start the neural-only and hybrid control runs, in real time.\n"
    "Takes no arguments and works in the current directory (a lab directory):\n"
    "\n"
    "  Resources/Drawing1.3ds  in: the arm mesh (make-arm-mesh writes it)\n"
    "  NeuralFiles/            in: the networks; out: the trajectory, the runs' logs\n"
    "\n"
    "Options (each alone):\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "The console ends with 'Quit & Close Cards', Esc or q.\n";

}  // namespace
#endif

namespace {

// The cards' session ends with the console, which ends through exit.
void EndCardSession() {
    if (const std::string failure = cards::EndSession("."); !failure.empty()) {
        std::printf("%s\n", failure.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifndef TENDON_TEST_BUILD
    // The shipped console answers these before it takes its lab; the test
    // build hands its arguments to ProbeStart.
    if (const auto exit = version::AnswerArguments("tendon", kUsage, argc, argv)) {
        return *exit;
    }
#endif
    // The console owns its lab directory for its whole life; the kernel drops
    // the lock when the process exits.
    const auto lock = labdir::LabLock::Take(".", "tendon");
    if (!lock) {
        return 1;
    }
    ProbeStart(argc, argv);  // the test build's options and reports; nothing in tendon
    // What the card library keeps in the directory (the virtual lab's plant
    // and the arm as the last command left it); a refused file does not keep
    // the console from coming up.
    std::fputs(cards::BeginSession(".").c_str(), stdout);
    std::atexit(EndCardSession);
    // Closes whatever a previous process left open, then opens the motion
    // card, the pressure input and the valve output; the console comes up
    // whether or not they answer.
    ResetCards();
    BuildConsole();
}
