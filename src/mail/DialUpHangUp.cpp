#include "mail/DialUpHangUp.h"

#include <QtGlobal>

#if defined(Q_OS_WIN)
#include "mail/RasDialUpHangUp.h"
#else
#include "mail/NetworkManagerHangUp.h"
#endif

std::unique_ptr<DialUpHangUp> DialUpHangUp::createForPlatform()
{
#if defined(Q_OS_WIN)
    return std::make_unique<RasDialUpHangUp>();
#else
    // Where no system bus or no NetworkManager runs, this one finds nothing to
    // hang up and returns quickly, so it serves every non-Windows platform.
    return std::make_unique<NetworkManagerHangUp>();
#endif
}
