// The order in which a name's addresses are raced.
#include "mail/AddressRace.h"

#include <gtest/gtest.h>

namespace {

TEST(AddressRace, TheFamiliesAlternateFromTheFirstEachKeepingItsOrder)
{
    const auto list = [](std::initializer_list<const char*> texts) {
        QList<QHostAddress> addresses;
        for (const char* text : texts)
            addresses.append(QHostAddress(QString::fromLatin1(text)));
        return addresses;
    };
    struct Case
    {
        QList<QHostAddress> given, raced;
    };
    for (const Case& c : {Case{list({"2001:db8::1", "2001:db8::2", "2001:db8::3", "192.0.2.1"}),
                               list({"2001:db8::1", "192.0.2.1", "2001:db8::2", "2001:db8::3"})},
                          Case{list({"192.0.2.1", "192.0.2.2", "2001:db8::1"}),
                               list({"192.0.2.1", "2001:db8::1", "192.0.2.2"})},
                          Case{list({"192.0.2.1"}), list({"192.0.2.1"})}, Case{{}, {}}}) {
        EXPECT_EQ(AddressRace::interleaved(c.given), c.raced);
    }
}

} // namespace
