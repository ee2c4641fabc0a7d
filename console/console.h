// The operator console: the main window with the 3D view, the control panel
// on its right and the view panel at its bottom, the one control callback
// that turns button presses into hardware actions, and the main window's
// GLUT callbacks. Everything runs on the thread of the GLUT main loop; an
// action runs to its end inside the callback and blocks the loop meanwhile.
#pragma once

// Ids the panel's buttons and check boxes hand to ControlCallback.
enum ControlId {
    ID_OPTION = 1,  // every check box
    ID_START_ACTION = 200,
    ID_RESET_CARDS = 201,
    ID_QUIT = 203,
    ID_GENERATE_TRAJECTORY = 204,
};

// Builds the main window, its lights, both panels and the link display
// lists (the cards are opened before, by the caller).
void BuildConsoleWindows();
// BuildConsoleWindows, then the GLUT main loop; the process ends by exit.
[[noreturn]] void BuildConsole();

// The update callback of every button and check box.
void ControlCallback(int id);

// The main window's GLUT callbacks.
void ReshapeView(int width, int height);
void KeyboardInput(unsigned char key, int x, int y);
void MouseInput(int button, int state, int x, int y);
void MouseMotion(int x, int y);
