// The syntax of the POP3 server value: any text parses without harm; a value
// that parses names a host the socket layer can be given, and writing it back
// in its canonical form parses to the same place.
#include "FuzzInput.h"
#include "base/Cp932.h"
#include "mail/Pop3Host.h"

namespace {

bool sameTarget(const Pop3Host& a, const Pop3Host& b)
{
    return a.isValid() == b.isValid() && a.host() == b.host() && a.port() == b.port() &&
           a.security() == b.security();
}

QString schemeOf(Pop3Host::Security security)
{
    switch (security) {
    case Pop3Host::Security::Tls:
        return QStringLiteral("pop3s://");
    case Pop3Host::Security::Plain:
        return QStringLiteral("pop3://");
    case Pop3Host::Security::StartTlsIfOffered:
        break;
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    // The value arrives as the CP932 bytes of the settings file.
    const QString value = Cp932::decode(in.rest());
    const Pop3Host target = Pop3Host::parse(value);
    // Blanks around the value are the user's typing.
    FUZZ_CHECK(
        sameTarget(target, Pop3Host::parse(QStringLiteral(" \t") + value + QStringLiteral("  "))));
    if (!target.isValid())
        return 0;
    FUZZ_CHECK(!target.host().isEmpty());
    FUZZ_CHECK(target.port() != 0);
    for (const QChar c : target.host())
        FUZZ_CHECK(!c.isSpace() && c.unicode() >= 0x20 && c != u'/' && c != u'@');

    const QString port = QString::number(target.port());
    const QString host = target.host();
    const QString canonical =
        host.contains(u':') ? u'[' + host + QStringLiteral("]:") + port : host + u':' + port;
    const Pop3Host again = Pop3Host::parse(schemeOf(target.security()) + canonical);
    // A bare IPv6 address may hold characters that brackets do not allow.
    if (again.isValid() || !host.contains(u':'))
        FUZZ_CHECK(sameTarget(target, again));
    return 0;
}
