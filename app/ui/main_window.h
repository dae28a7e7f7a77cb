// The main window.
#pragma once

namespace app::ui {

// Runs the main window; returns when it has closed. Until the window exists
// this opens, writes "velorn: ready" to standard output and returns on
// SIGTERM, SIGINT or SIGHUP (the end of the session) or on RequestMainEnd.
void Main();
// Asks a running Main to close (from any thread).
void RequestMainEnd();

}  // namespace app::ui
