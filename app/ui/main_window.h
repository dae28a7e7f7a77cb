// The main window.
#pragma once

namespace app::ui {

// Runs the main window; returns when it has closed. Until the real window
// exists this runs the engine's host (EngineHost) as a headless window with
// the main window's class
// (service::MainWindowClass(InstanceName)) and caption (CaptionText), serves
// the window list, writes "velorn: ready" to standard output once the window
// is open and listed ("velorn: restored" and "velorn: front" when it is
// restored or brought to the front), and closes down on the end of the
// session (its session-end subclass's EndSessionEvent) or on RequestMainEnd.
void Main();
// Asks a running Main to close (from any thread).
void RequestMainEnd();

}  // namespace app::ui
