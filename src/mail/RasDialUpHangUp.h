#pragma once

#include "mail/DialUpHangUp.h"

// Hangs up dial-up links through the Windows remote-access service
// (rasapi32): one enumeration of the connections, then one hang-up request per
// connection in enumeration order. Results of the hang-ups are not examined; a
// failed enumeration (among them more connections than the table's 256 records
// hold) hangs up nothing. (Not named RasHangUp: <ras.h> defines that name as a
// macro for RasHangUpA or RasHangUpW.)
class RasDialUpHangUp : public DialUpHangUp
{
public:
    void hangUpAll() override;
};
