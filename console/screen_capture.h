// Saves the screen area of the console's main window, which opens at the
// screen's origin, as a PNG picture: panels, view and all, as the operator
// sees them.
#pragma once

// True when the picture was written.
bool SaveConsoleScreen(const char* path);
