#pragma once

// The desktop's session bus, which the program itself never needs (the
// hang-up talks to the system bus). Qt asks for it on its own, for
// accessibility and, from Qt 6.8 on, for its platform theme while the
// application object is made; where no session bus runs, that request would
// make libdbus start a bus of its own ("autolaunch") that outlives the program.
namespace SessionBus {

// Where the desktop has no session bus, makes every request for one fail at
// once until connectWithoutStartingOne() (it sets an environment variable).
// Call it before the application object exists and before any other thread
// starts. Optional: connectWithoutStartingOne() alone covers the requests
// from that call on.
void refuseWhereNoneRuns();

// Where the desktop has no session bus, lets Qt find none, so that nothing is
// started for it; where one runs, leaves everything as it is. Call it once,
// after the application object exists and before the first window.
void connectWithoutStartingOne();

} // namespace SessionBus
