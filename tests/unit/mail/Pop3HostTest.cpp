// Every form of the server value.
#include "mail/Pop3Host.h"

#include <gtest/gtest.h>

namespace {

TEST(Pop3Host, ParsesEveryServerSyntax)
{
    using S = Pop3Host::Security;
    using F = Pop3Host::Fallback;
    struct Case
    {
        const char* text;
        const char* host;
        int port;
        S security;
        F fallback;
    };
    for (const Case& c :
         {Case{"mail.example.com", "mail.example.com", 110, S::StartTlsIfOffered, F::Pop3sPort},
          Case{" mail.example.com:1110\t", "mail.example.com", 1110, S::StartTlsIfOffered,
               F::TlsIfSilent},
          Case{"mail.example.com:995", "mail.example.com", 995, S::Tls, F::None},
          Case{"ｐｏｐ．ｅｘａｍｐｌｅ．ｊｐ：９９５", "pop.example.jp", 995, S::Tls, F::None},
          Case{"\u3000ｐｏｐ３ｓ：／／ｈｏｓｔ\u3000", "host", 995, S::Tls, F::None},
          Case{"[::1]:2110", "::1", 2110, S::StartTlsIfOffered, F::TlsIfSilent},
          Case{"[fe80::1%eth0]", "fe80::1%eth0", 110, S::StartTlsIfOffered, F::Pop3sPort},
          Case{"::1", "::1", 110, S::StartTlsIfOffered, F::Pop3sPort},
          Case{"pop3s://mail.example.com", "mail.example.com", 995, S::Tls, F::None},
          Case{"POP3S://mail.example.com:1995/", "mail.example.com", 1995, S::Tls, F::None},
          Case{"pop3://10.0.0.1", "10.0.0.1", 110, S::Plain, F::None},
          Case{"pop3://mail.example.com:995", "mail.example.com", 995, S::Plain, F::None},
          Case{"pop3://[::1]:5110", "::1", 5110, S::Plain, F::None}}) {
        SCOPED_TRACE(c.text);
        const Pop3Host h = Pop3Host::parse(QString::fromUtf8(c.text));
        ASSERT_TRUE(h.isValid());
        EXPECT_EQ(h.host(), QString::fromUtf8(c.host));
        EXPECT_EQ(h.port(), c.port);
        EXPECT_EQ(h.security(), c.security);
        EXPECT_EQ(h.fallback(), c.fallback);
    }
    // Other standard ports, as tests put in: the pop3s one still means TLS.
    const Pop3Host h = Pop3Host::parse(QStringLiteral("host:2995"), {2110, 2995});
    EXPECT_EQ(h.security(), S::Tls);
    EXPECT_EQ(Pop3Host::parse(QStringLiteral("host"), {2110, 2995}).port(), 2110);
    for (const char* bad :
         {"", "   ", "host:", "host:0", "host:65536", "host:12a", "[::1", "[]:110", "[::1]x",
          "pop3s://", "user@host", "two words", "pop3s://h/p"}) {
        EXPECT_FALSE(Pop3Host::parse(QString::fromUtf8(bad)).isValid()) << bad;
    }
}

} // namespace
