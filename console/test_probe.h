// Hooks of the console's test build (TENDON_TEST_BUILD, target
// tendon-virtual): the same program on the virtual clock, so that actions
// take no wall time, reporting to the window tests through files in its
// working directory:
//   tendon-status.txt  every status shown, one index per line
//   tendon-places.txt  the window, the view port and every control's place
//                      on the screen, what the message line shows and the
//                      encoder counts of the readout, rewritten while the
//                      loop is idle
//   tendon-exit.txt    at exit, whether each card was left open or closed
// and acting on the virtual lab for them:
//   tendon-stop-at.txt when present at start, holds a number N: the lab's
//                      emergency stop is pressed after the N-th sample a
//                      control run has redrawn
// With --screenshot FILE it instead saves the console's window as it comes
// up as a PNG picture and ends (--emergency-stop: with the lab's stop
// pressed); it then writes no reports.
// In the shipped program the hooks are empty and compile away.
#pragma once

class GLUI;
class GLUI_Control;

#ifdef TENDON_TEST_BUILD

// First thing in main: the options, the virtual clock, the exit report.
void ProbeStart(int argc, char** argv);
// A control was added; controls are numbered from 1 in this order.
void ProbeControl(const GLUI* panel, const GLUI_Control* control, const char* label);
// The windows are built: starts reporting the places.
void ProbePanelsBuilt();
// A status was shown.
void ProbeStatus(int status);
// A control run has redrawn a sample.
void ProbeSample();

#else

inline void ProbeStart(int, char**) {}
inline void ProbeControl(const GLUI*, const GLUI_Control*, const char*) {}
inline void ProbePanelsBuilt() {}
inline void ProbeStatus(int) {}
inline void ProbeSample() {}

#endif
