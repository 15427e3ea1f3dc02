// The system's opener of the home page on Linux: xdg-open, run in the
// background, its exit in failure told. A stand-in xdg-open on PATH plays the
// one a desktop would have (the machine may have none).
#include "ui/HomePage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(HomePage, TheOpenerIsToldThePageAndItsFailureComesBack)
{
    const QUrl page = QUrl::fromLocalFile(QStringLiteral("/nowhere/README.md"));
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()));
    bool failed = false;
    // No opener at all: nothing started, told at once.
    EXPECT_FALSE(HomePage::openWithSystem(page, [&] { failed = true; }));

    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\n[ \"$1\" = " + page.toEncoded() + " ] && exit 3\nexit 0\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_TRUE(HomePage::openWithSystem(page, [&] { failed = true; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed; }, 30000));
    qputenv("PATH", path);
}

} // namespace
