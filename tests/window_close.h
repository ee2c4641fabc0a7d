// Asks an X window to close, as a window manager's close button does.
#pragma once

// Sends WM_DELETE_WINDOW to `window` on the test run's X display; false if
// the display cannot be opened.
bool AskWindowToClose(unsigned long window);
