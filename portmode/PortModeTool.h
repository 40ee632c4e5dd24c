// The utility's entry: one running copy per program file name, the
// application title, the main window as the one window created at the start,
// and the message loop.
#pragma once

// Runs the program on the application object that must already exist
// (main() creates it); returns 0. A second copy shows "Application is
// already running" and returns at once.
int WinMain();
