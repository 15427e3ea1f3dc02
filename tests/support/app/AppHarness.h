#pragma once

// A whole program in a test: a throw-away program folder with its data
// folder, a current folder for orvenda.ini, and an AppContext whose process
// end, browser and hang-up are recorded instead of carried out.

#include "app/AppContext.h"
#include "app/MainForm.h"
#include "mail/DialUpHangUp.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

// Records hang-up requests; the real NetworkManager one has its own tests.
class RecordingHangUp : public DialUpHangUp
{
public:
    explicit RecordingHangUp(int* calls) : m_calls(calls) {}
    void hangUpAll() override { ++*m_calls; }

private:
    int* m_calls;
};

class AppHarness
{
public:
    AppHarness()
    {
        exeFolder = root.path() + QStringLiteral("/program");
        dataFolder = exeFolder + QStringLiteral("/★MailData");
        QDir().mkpath(dataFolder);
        orvendaPath = root.path() + QStringLiteral("/orvenda.ini");
    }
    ~AppHarness() { stop(); }

    // Creates the context; start() then loads and shows the main window.
    AppContext& create()
    {
        ctx = std::make_unique<AppContext>(exeFolder, orvendaPath);
        ctx->endProcess = [this] { ++endCount; };
        ctx->openUrl = [this](const QUrl& url, std::function<void()> failed) {
            openedUrls.append(url);
            if (browserFailsLater)
                QTimer::singleShot(0, failed);
            return browserStarts;
        };
        ctx->hangUp = std::make_unique<RecordingHangUp>(&hangUpCount);
        ctx->msgBox.setNeverBlock(true);
        return *ctx;
    }
    AppContext& start()
    {
        if (!ctx)
            create();
        ctx->mainForm.Show();
        return *ctx;
    }
    void stop()
    {
        ctx.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    MainForm& main() { return ctx->mainForm.get(); }

    void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
    QByteArray readFile(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString iniPath() const { return dataFolder + QStringLiteral("/ini.ini"); }
    QString idPassPath() const { return dataFolder + QStringLiteral("/iniIdPass.ini"); }

    // Every file below the test's folders with its content.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            files.insert(p, readFile(p));
        }
        return files;
    }

    QTemporaryDir root;
    QString exeFolder;
    QString dataFolder;
    QString orvendaPath;
    std::unique_ptr<AppContext> ctx;
    int endCount = 0;
    int hangUpCount = 0;
    QList<QUrl> openedUrls;
    bool browserStarts = true;      // what the recorded browser answers
    bool browserFailsLater = false; // it started, then ended in failure
};
