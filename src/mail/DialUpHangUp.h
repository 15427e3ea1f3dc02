#pragma once

#include <memory>

// Hangs up the machine's dial-up links: what the main window's "切断" command
// (Label3_Click) does, and what a mail check runs at its end when the settings
// dialog's hang-up option is ticked.
class DialUpHangUp
{
public:
    virtual ~DialUpHangUp() = default;

    // Asks every active dial-up connection to hang up, in enumeration order; asks
    // nothing, reports nothing, returns at once (does not wait for the links to go down).
    virtual void hangUpAll() = 0;

    // The implementation for this platform: NetworkManager over the system bus on Linux,
    // the remote-access service on Windows.
    static std::unique_ptr<DialUpHangUp> createForPlatform();
};
