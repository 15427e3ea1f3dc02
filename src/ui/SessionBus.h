#pragma once

// The desktop's session bus, which the program itself never needs (the
// hang-up talks to the system bus). Qt asks for it on its own, for
// accessibility; where no session bus runs, that request would make libdbus
// start a bus of its own ("autolaunch") that outlives the program.
namespace SessionBus {

// Where the desktop has no session bus, lets Qt find none, so that nothing is
// started for it; where one runs, leaves everything as it is. Call it once,
// after the application object exists and before the first window.
void connectWithoutStartingOne();

} // namespace SessionBus
