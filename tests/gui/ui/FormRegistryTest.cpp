#include "support/app/AppHarness.h"

#include <QCloseEvent>
#include <QPointer>

#include <gtest/gtest.h>

namespace {

QStringList g_log; // what the probe windows did, in order (reset by each test)

class ProbeForm : public Form
{
public:
    ProbeForm() { g_log << QStringLiteral("create"); }
    ~ProbeForm() override { g_log << QStringLiteral("destroy"); }
    void Form_Load() override { g_log << QStringLiteral("load"); }
    void Form_Unload() override { g_log << QStringLiteral("unload"); }
};

class WindowRegistry : public ::testing::Test
{
protected:
    void SetUp() override { g_log.clear(); }
    AppHarness h;
};

} // namespace

TEST_F(WindowRegistry, ReferenceLoadsHiddenOnceAndShowDoesNotReload)
{
    h.create();
    FormRef<ProbeForm> ref([] { return new ProbeForm; });
    EXPECT_FALSE(ref.isLoaded());
    EXPECT_EQ(ref.ifLoaded(), nullptr);
    EXPECT_TRUE(g_log.isEmpty());

    ProbeForm& f = ref.get();
    EXPECT_EQ(g_log, (QStringList{"create", "load"}));
    EXPECT_FALSE(f.isVisible());

    ref.Show();
    ref.Show();
    ref->hide();
    ref.Show();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(&ref.get(), &f);
    EXPECT_EQ(ref.loadCount(), 1);
    EXPECT_EQ(g_log, (QStringList{"create", "load"}));
}

TEST_F(WindowRegistry, CloseBoxUnloadsAndTheNextReferenceIsFresh)
{
    h.create();
    FormRef<ProbeForm> ref([] { return new ProbeForm; });
    ref.Show();
    QPointer<ProbeForm> first = &ref.get();

    first->close();
    EXPECT_FALSE(ref.isLoaded());
    EXPECT_EQ(g_log, (QStringList{"create", "load", "unload"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    ProbeForm& second = ref.get();
    EXPECT_EQ(ref.loadCount(), 2);
    EXPECT_FALSE(second.isVisible());
    EXPECT_EQ(g_log.mid(3), (QStringList{"destroy", "create", "load"}));

    ref.Unload();
    ref.Unload(); // nothing more when not loaded
    EXPECT_EQ(g_log.count(QStringLiteral("unload")), 2);
}

TEST_F(WindowRegistry, DestroyingTheRegistryRunsNoUnloadHandler)
{
    h.create();
    {
        FormRef<ProbeForm> ref([] { return new ProbeForm; });
        ref.Show();
    }
    EXPECT_EQ(g_log, (QStringList{"create", "load", "destroy"}));
}
