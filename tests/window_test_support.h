// Helpers of the tests that open GLUT windows on the test run's X display.
#pragma once

#include <GL/freeglut.h>

#include <chrono>
#include <cstdlib>
#include <thread>

// Initialises GLUT once; false when there is no display to open windows on.
inline bool StartGlut() {
    static const bool started = [] {
        if (std::getenv("DISPLAY") == nullptr) {
            return false;
        }
        int argc = 1;
        char name[] = "test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        return true;
    }();
    return started;
}

// Handles window events until `done()` holds; false if it never does.
template <typename Done>
bool PumpUntil(Done done) {
    for (int round = 0; round < 1000; ++round) {
        glutMainLoopEvent();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Handles the events that arrive within `rounds` short waits.
inline void Pump(int rounds) {
    int left = rounds;
    PumpUntil([&] { return --left <= 0; });
}
