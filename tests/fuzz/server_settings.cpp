// orvenda.ini: any file reads without harm into values of at most 100
// characters, and what is saved from them reads back as the same values.
#include "FuzzInput.h"
#include "settings/ServerSettingsFile.h"

namespace {

bool sameValues(const SettingsValues& a, const SettingsValues& b)
{
    return a.SmtpServer == b.SmtpServer && a.Pop3Server == b.Pop3Server &&
           a.MailAddress == b.MailAddress && a.ApopFlag == b.ApopFlag;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    SettingsValues read;
    read.UserId = QStringLiteral("id");
    read.Password = QStringLiteral("pw");
    ServerSettingsFile::apply(in.rest(), read);
    FUZZ_CHECK(read.UserId == u"id" && read.Password == u"pw");
    for (const QString* v : {&read.SmtpServer, &read.Pop3Server, &read.MailAddress})
        FUZZ_CHECK(v->size() <= 100);

    const QByteArray saved = ServerSettingsFile::compose(read);
    SettingsValues again;
    ServerSettingsFile::apply(saved, again);
    FUZZ_CHECK(sameValues(read, again));
    FUZZ_CHECK(ServerSettingsFile::compose(again) == saved);
    return 0;
}
