#pragma once

// The application's entry: makes its classes known, then hands the process to the application
// run loop with AppDelegate; the result is the exit status. On the main thread of a running
// process.
int applicationMain(int argc, char** argv);
