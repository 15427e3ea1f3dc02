// A long run (CTest label "long", left out of scripts/test): 1,000 checks in
// a row against Dovecot, each finding new mail and sending the paper
// aeroplane out and back, then 100,000 flight ticks. Memory, open
// descriptors and running timers stay flat: the last hundred samples are
// compared with the first hundred, not with absolute numbers.

#include "dovecot/DovecotServer.h"
#include "support/Controls.h"
#include "support/ResourceUsage.h"
#include "support/app/AppHarness.h"

#include "flight/Form1.h"
#include "mail/MsgForm.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

struct Sample
{
    qint64 memoryKib;
    int descriptors;
    int timers;
};

// Timers registered by any object of ours: every window and everything it owns.
int runningTimers()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        count += int(dispatcher->registeredTimers(window).size());
        for (QObject* child : window->findChildren<QObject*>())
            count += int(dispatcher->registeredTimers(child).size());
    }
    return count;
}

// Under AddressSanitizer the resident size follows its quarantine: the live
// heap stands in for it there.
Sample sample()
{
    const qint64 memory = ResourceUsage::kUnderAddressSanitizer
                              ? ResourceUsage::liveHeapBytes() / 1024
                              : ResourceUsage::residentKib();
    return {memory, ResourceUsage::openDescriptors(), runningTimers()};
}

// Compares the first and the last hundred samples and prints both.
void expectFlat(const char* what, const std::vector<Sample>& samples)
{
    ASSERT_GE(samples.size(), 200u);
    const auto first = std::vector<Sample>(samples.begin(), samples.begin() + 100);
    const auto last = std::vector<Sample>(samples.end() - 100, samples.end());
    const auto mean = [](const std::vector<Sample>& s) {
        return std::accumulate(s.begin(), s.end(), qint64(0),
                               [](qint64 sum, const Sample& x) { return sum + x.memoryKib; }) /
               qint64(s.size());
    };
    const auto most = [](const std::vector<Sample>& s, int Sample::*field) {
        int m = 0;
        for (const Sample& x : s)
            m = std::max(m, x.*field);
        return m;
    };
    std::printf("%s: memory %lld -> %lld KiB (mean of first and last hundred), "
                "descriptors %d -> %d, timers %d -> %d (most in each hundred)\n",
                what, static_cast<long long>(mean(first)), static_cast<long long>(mean(last)),
                most(first, &Sample::descriptors), most(last, &Sample::descriptors),
                most(first, &Sample::timers), most(last, &Sample::timers));
    // A leak of a few hundred bytes a step is tens of KiB a hundred steps:
    // 2 MiB leaves room for the allocator's own caches, not for a leak.
    EXPECT_LT(mean(last) - mean(first), 2048) << what;
    EXPECT_LE(most(last, &Sample::descriptors), most(first, &Sample::descriptors)) << what;
    EXPECT_LE(most(last, &Sample::timers), most(first, &Sample::timers)) << what;
}

TEST(LongRun, ThousandChecksAndHundredThousandFlightTicksHoldNothing)
{
    DovecotServer server;
    ASSERT_TRUE(server.start()) << server.errorText().toStdString();
    ASSERT_TRUE(server.addUser(QStringLiteral("pilot"), "secret"));
    ASSERT_TRUE(server.addMessage(QStringLiteral("pilot"),
                                  "From: a@example.net\r\nSubject: waiting\r\n\r\nbody\r\n"));

    AppHarness h;
    h.writeFile(h.orvendaPath,
                "SMTP=\r\nPOP3=" + server.plainHostPort().toLatin1() + "\r\nMAIL=\r\nAPOP=0\r\n");
    h.writeFile(h.idPassPath(), "[EXEINI]\r\nNAME=pilot\r\nNAME2=secret\r\n");
    AppContext& ctx = h.create();
    ctx.mail.addCaCertificates({server.caCertificate()});
    h.start();

    std::vector<Sample> checks;
    for (int i = 0; i < 1000; ++i) {
        h.main().Label8_Click();
        ASSERT_EQ(child<QLineEdit>(ctx.msgForm.get(), "Text2")->text(), QStringLiteral("1"))
            << "check " << i;
        ASSERT_TRUE(h.main().state().PlaneOut) << "check " << i;
        h.main().Label6_Click(); // and back
        ASSERT_FALSE(h.main().state().PlaneOut) << "check " << i;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        checks.push_back(sample());
    }
    expectFlat("1000 checks", checks);

    h.main().Label6_Click(); // the aeroplane flies
    Form1& flight = ctx.form1.get();
    std::vector<Sample> ticks;
    for (int i = 1; i <= 100000; ++i) {
        flight.Timer1_Timer();
        if (i % 100 == 0) {
            QCoreApplication::processEvents();
            ticks.push_back(sample());
        }
    }
    expectFlat("100000 flight ticks", ticks);
}

} // namespace
