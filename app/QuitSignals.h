// How the system asks rv450-kestrun to quit, turned into a call in the window
// thread. One implementation per system, chosen by the build: on Linux
// SIGTERM, SIGINT and SIGHUP (app/posix); on Windows, where the window has no
// console, nothing beyond the window's own close box (app/win32).
#pragma once

#include <QObject>
#include <functional>

namespace kestrun {

// Catches the signals before the window exists, so that none is lost while
// the tool starts.
void InstallQuitSignals();

// Calls `onQuit` in the event loop of `parent`'s thread for each request to quit.
void WatchQuitSignals(QObject* parent, std::function<void()> onQuit);

}  // namespace kestrun
