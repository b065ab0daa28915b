#include "app/QuitSignals.h"

namespace kestrun {

// A window program on Windows has no console whose Ctrl+C or close would ask
// it to quit; the system's end of session closes its windows as the close box does.
void InstallQuitSignals() {}

void WatchQuitSignals(QObject*, std::function<void()>) {}

}  // namespace kestrun
