#pragma once

#include "mail/NMail.h"

#include <QString>

#include <functional>

struct UntrustedCertificate;

// What a check learned: the count of waiting messages (0 or more); that it
// could not learn it, with the library's words when there are any (none when
// the user declined a certificate or no account was stored); or that there was
// nothing to check (no server value).
struct CheckOutcome
{
    enum class Kind { Counted, CouldNotLook, NothingToCheck };
    Kind kind = Kind::NothingToCheck;
    int count = 0;
    QString reason;

    bool counted() const { return kind == Kind::Counted; }
};

// What a check asks of the person at the screen, each at its step.
struct CheckMailUser
{
    struct Account
    {
        QString userId;
        QString password;
    };
    // The account to log in with, asked for once the server answers: the one
    // confirmed in the account dialog this run, else the stored one, read
    // afresh (the caller also shows it in the account dialog).
    std::function<Account()> readAccount;
    // No account is stored: ask for one (no login this time).
    std::function<void()> askForAccount;
    // Whether to trust, from now on, a certificate nobody vouches for.
    std::function<bool(const UntrustedCertificate&)> trustCertificate;
    // Tells why the check could not look, and waits until the user has read it.
    std::function<void(const QString& reason)> showFailure;
};

// What the user can try after a failure the client reported, naming the
// settings dialogs where the values are set; empty where the client's own
// text says all there is (TLS, a certificate, a silent port, the client's own
// faults).
QString nextStep(NMail::Failure failure);

// The failure box's text after the client's last failure: what happened, in
// the client's words (the server's among them), then what the user can try,
// naming the settings dialogs; cut to the 8 KB a text buffer of the check holds.
QString failureText(const NMail& mail);

// One complete check of the server value `pop3Server`, to its end on this
// thread: connect (asking about an untrusted certificate), read the account,
// log in (APOP when `apop`), fetch every message without deleting any, close.
CheckOutcome checkMail(NMail& mail, const QString& pop3Server, bool apop,
                       const CheckMailUser& user);
