#pragma once
// Pictures of the windows as the operator sees them, taken by the program
// itself when QUARBE_SCREENSHOT_DIR names a directory (tools/screenshot runs
// it so under a virtual X server, to look at the layout without a desktop).

class QString;

namespace quarbe {

class CBearingDlg;

// Once the window is up, saves into `directory`, in this order:
//  - message-N.png for each message box shown at start-up, taken from the
//    screen with the window around it (so the box's placement shows), then
//    closes the box;
//  - main-window.png, or main-window-gps.png once a first GPS fix has locked
//    the local fields when a GPS reader is running (waiting up to 20 s);
//  - configuration.png, file-dialog.png (its picture browser), help.png
//    (F1 there) and about.png, saying on the standard error when one of
//    them reaches past the screen;
// then closes the program.
// When QUARBE_SCREENSHOT_STATES lists states of the main window instead
// (comma-separated: parked, heading-sensor, gps-silent, rotator-moving,
// rotator-on-target, rotator-absent), it saves main-window-STATE.png for
// each in that order, once the window shows it, and the message boxes as
// above, then closes the program.
void TakeScreenshots(CBearingDlg* window, const QString& directory);

}  // namespace quarbe
