#include "mail/AddressRace.h"

#include "mail/ConnectAttempt.h"

#include <QElapsedTimer>

#include <algorithm>
#include <climits>
#include <memory>

QList<QHostAddress> AddressRace::interleaved(const QList<QHostAddress>& addresses)
{
    if (addresses.isEmpty())
        return addresses;
    const auto first = addresses.first().protocol();
    QList<QHostAddress> mine, other, result;
    for (const QHostAddress& address : addresses)
        (address.protocol() == first ? mine : other).append(address);
    for (qsizetype i = 0; i < std::max(mine.size(), other.size()); ++i) {
        if (i < mine.size())
            result.append(mine[i]);
        if (i < other.size())
            result.append(other[i]);
    }
    return result;
}

AddressRace::Result AddressRace::run(const std::vector<Endpoint>& endpoints,
                                     QDeadlineTimer deadline)
{
    Result result;
    result.outcomes.assign(endpoints.size(), Outcome::NotTried);
    std::vector<std::unique_ptr<ConnectAttempt>> attempts(endpoints.size());
    QElapsedTimer clock;
    clock.start();
    size_t next = 0;
    qint64 lastStartMs = 0;
    for (;;) {
        // Brings the outcomes up to date; the first connection wins.
        bool underWay = false;
        for (size_t i = 0; i < next; ++i) {
            if (!attempts[i] || result.outcomes[i] != Outcome::NoAnswer)
                continue;
            switch (attempts[i]->state()) {
            case ConnectAttempt::State::Connected:
                result.outcomes[i] = Outcome::Connected;
                result.winner = int(i);
                result.socket = attempts[i]->take();
                return result; // the others close as their attempts go
            case ConnectAttempt::State::Failed:
                result.outcomes[i] = Outcome::Failed;
                attempts[i].reset();
                break;
            case ConnectAttempt::State::Pending:
                underWay = true;
                break;
            }
        }
        if (deadline.hasExpired() || (!underWay && next == endpoints.size()))
            return result;
        const qint64 now = clock.elapsed();
        qint64 startAt = -1; // when the next endpoint may start, ms from the start
        if (next < endpoints.size())
            startAt = underWay ? std::max(lastStartMs + kAttemptDelayMs,
                                          qint64(endpoints[next].notBeforeMs))
                               : now;
        if (startAt >= 0 && startAt <= now) {
            attempts[next] =
                std::make_unique<ConnectAttempt>(endpoints[next].address, endpoints[next].port);
            result.outcomes[next] = Outcome::NoAnswer;
            lastStartMs = now;
            ++next;
            continue;
        }
        qint64 waitMs = deadline.isForever() ? INT_MAX : deadline.remainingTime();
        if (startAt >= 0)
            waitMs = std::min(waitMs, startAt - now);
        std::vector<ConnectAttempt*> pending;
        for (const auto& attempt : attempts) {
            if (attempt)
                pending.push_back(attempt.get());
        }
        ConnectAttempt::waitAny(pending, int(std::clamp<qint64>(waitMs, 0, INT_MAX)));
    }
}
