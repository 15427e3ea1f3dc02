#pragma once

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>

#include <vector>

// Connects to whichever of several addresses answers first, in the manner of
// RFC 8305: one attempt is started, and the next one 250 ms after the last
// that has not answered yet, or at once when every attempt under way has
// failed; the first connection wins and the others are closed. A name whose
// first address swallows connection attempts (a broken IPv6 route) is thus
// reached on its next address a quarter of a second later, not after the
// whole bound. The addresses come from elsewhere (see Pop3Dialer), so the
// race can be handed any list.
class AddressRace
{
public:
    static constexpr int kAttemptDelayMs = 250;

    struct Endpoint
    {
        QHostAddress address;
        quint16 port = 0;
        // Not started before this many ms from the start of the race, unless
        // nothing else is under way.
        int notBeforeMs = 0;
    };
    enum class Outcome {
        NotTried,
        Connected,
        Failed,   // refused or unreachable
        NoAnswer, // under way when another won or the time ran out
    };
    struct Result
    {
        qintptr socket = -1; // the winner's connected socket, the caller's to close, or -1
        int winner = -1;     // its index among the endpoints
        std::vector<Outcome> outcomes; // one per endpoint
    };

    // The addresses with the two families alternating, beginning with the
    // family of the first (the system's preferred); each family's own order kept.
    static QList<QHostAddress> interleaved(const QList<QHostAddress>& addresses);

    // Races the endpoints in their order until one connects or deadline passes.
    static Result run(const std::vector<Endpoint>& endpoints, QDeadlineTimer deadline);
};
