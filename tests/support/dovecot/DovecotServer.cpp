#include "DovecotServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A port nobody listens on now, on the given address; 0 when none could be had.
quint16 freePort(const QHostAddress& address)
{
    QTcpServer probe;
    if (!probe.listen(address, 0))
        return 0;
    return probe.serverPort();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

// Dovecot drops to its own users, which must be able to walk down to the folder.
void makeSearchable(const QString& dir)
{
    QString path = QFileInfo(dir).absoluteFilePath();
    while (!path.isEmpty() && path != QStringLiteral("/")) {
        struct stat st
        {
        };
        const QByteArray native = QFile::encodeName(path);
        if (::stat(native.constData(), &st) == 0 && (st.st_mode & 0011) != 0011)
            ::chmod(native.constData(), st.st_mode | 0011);
        path = QFileInfo(path).path();
    }
}

// Runs "dovecot -F -c config" with stdout and stderr sent to the given files.
// The master leads a session of its own, so each of its processes can be
// found by its id (sessionMembers), and the kernel sends it SIGTERM when this
// process ends without stopping it (a crash, a test killed at its time
// limit): no server outlives its test. Returns the master's id, or -1.
pid_t startMaster(const QString& config, const QString& outPath, const QString& errPath)
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("dovecot"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(
            QStringLiteral("dovecot"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    if (program.isEmpty())
        return -1;
    // Everything the child needs is ready before fork(): between fork() and
    // exec() only async-signal-safe calls are allowed.
    const QByteArray path = QFile::encodeName(program);
    const QByteArray configArg = QFile::encodeName(config);
    const char* argv[] = {path.constData(), "-F", "-c", configArg.constData(), nullptr};
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(outPath).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(QFile::encodeName(errPath).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t parent = ::getpid();
    pid_t pid = -1;
    if (in >= 0 && out >= 0 && err >= 0)
        pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // the parent died before the line above
            ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    for (const int fd : {in, out, err})
        if (fd >= 0)
            ::close(fd);
    return pid;
}

// Waits up to `ms` for the child `pid` to end and collects it.
bool reap(pid_t pid, int ms)
{
    const QDeadlineTimer deadline(ms);
    do {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return false;
}

// Notes a master as running (a file named by its id in the build folder's
// record of test servers) or as stopped (the file removed), so that the test
// suite's final check can tell whether one outlived its test.
void recordMaster(qint64 pid, bool running)
{
#ifdef KESTROVA_DOVECOT_RECORDS
    const QString folder = QStringLiteral(KESTROVA_DOVECOT_RECORDS);
    const QString path = folder + u'/' + QString::number(pid);
    if (running) {
        QDir().mkpath(folder);
        writeFile(path, QByteArray::number(pid) + '\n');
    } else {
        QFile::remove(path);
    }
#else
    Q_UNUSED(pid);
    Q_UNUSED(running);
#endif
}

// The processes of the session that `masterPid` leads, the master included.
QList<pid_t> sessionMembers(qint64 masterPid)
{
    // Field 6 of /proc/<pid>/stat is the session; a zombie has ended already.
    QList<pid_t> members;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toLongLong(&isPid));
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 3 && fields[0] != "Z" && fields[3].toLongLong() == masterPid)
            members.append(pid);
    }
    return members;
}

} // namespace

DovecotServer::DovecotServer() = default;

DovecotServer::~DovecotServer()
{
    stop();
}

QString DovecotServer::directory() const
{
    return m_dir ? m_dir->path() : QString();
}

QString DovecotServer::homeOf(const QString& user) const
{
    return directory() + QStringLiteral("/home/") + user;
}

QString DovecotServer::plainHostPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_plainPort);
}

QString DovecotServer::tlsHostPort() const
{
    return QStringLiteral("localhost:%1").arg(m_tlsPort);
}

QString DovecotServer::caCertificatePath() const
{
    return directory() + QStringLiteral("/ca.crt");
}

QSslCertificate DovecotServer::caCertificate() const
{
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(caCertificatePath());
    return certs.isEmpty() ? QSslCertificate() : certs.first();
}

QString DovecotServer::logText() const
{
    QFile file(directory() + QStringLiteral("/dovecot.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString DovecotServer::waitForLog(const QRegularExpression& pattern, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QString log = logText();
    while (!log.contains(pattern) && !deadline.hasExpired()) {
        QThread::msleep(20);
        log = logText();
    }
    return log;
}

QStringList DovecotServer::waitForLines(const QRegularExpression& pattern, int count,
                                        int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;; QThread::msleep(20)) {
        QStringList lines = logText().split(u'\n');
        lines.removeIf([&](const QString& line) { return !line.contains(pattern); });
        if (lines.size() >= count || deadline.hasExpired())
            return lines;
    }
}

bool DovecotServer::runTool(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setWorkingDirectory(directory());
    process.setStandardOutputFile(directory() + QStringLiteral("/tool.out"), QIODevice::Append);
    process.setStandardErrorFile(directory() + QStringLiteral("/tool.err"), QIODevice::Append);
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        QFile err(directory() + QStringLiteral("/tool.err"));
        err.open(QIODevice::ReadOnly);
        m_error = program + QStringLiteral(" failed: ") + QString::fromUtf8(err.readAll());
        return false;
    }
    return true;
}

bool DovecotServer::makeCertificates()
{
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                         QStringLiteral("-nodes")};
    return runTool(QStringLiteral("openssl"),
                   QStringList{"req", "-x509"} + ec +
                       QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj",
                                   "/CN=Kestrova Test CA", "-addext",
                                   "basicConstraints=critical,CA:TRUE", "-addext",
                                   "keyUsage=critical,keyCertSign,cRLSign"}) &&
           makeServerCertificate(CertificateKind::SignedByTestCa, QStringLiteral("server.key"),
                                 QStringLiteral("server.crt"));
}

bool DovecotServer::makeServerCertificate(CertificateKind kind, const QString& keyFile,
                                          const QString& certFile)
{
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                         QStringLiteral("-nodes")};
    if (kind == CertificateKind::SelfSigned) {
        return runTool(QStringLiteral("openssl"),
                       QStringList{"req", "-x509"} + ec +
                           QStringList{"-keyout", keyFile, "-out", certFile, "-days", "3650",
                                       "-subj", "/CN=mail.kestrova-test.example", "-addext",
                                       "subjectAltName=DNS:mail.kestrova-test.example"});
    }
    const QString ext = directory() + QStringLiteral("/server.ext");
    if (!writeFile(ext, "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n"
                        "basicConstraints=CA:FALSE\n"
                        "keyUsage=digitalSignature,keyEncipherment\n"
                        "extendedKeyUsage=serverAuth\n"))
        return false;
    return runTool(QStringLiteral("openssl"),
                   QStringList{"req"} + ec +
                       QStringList{"-keyout", keyFile, "-out", "server.csr", "-subj",
                                   "/CN=localhost"}) &&
           runTool(QStringLiteral("openssl"),
                   {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                    "-CAcreateserial", "-out", certFile, "-days", "2", "-extfile", ext});
}

QSslCertificate DovecotServer::serverCertificate() const
{
    const QList<QSslCertificate> certs =
        QSslCertificate::fromPath(directory() + QStringLiteral("/server.crt"));
    return certs.isEmpty() ? QSslCertificate() : certs.first();
}

bool DovecotServer::replaceCertificate(CertificateKind kind)
{
    if (!m_dir) {
        m_error = QStringLiteral("not started");
        return false;
    }
    if (!makeServerCertificate(kind, QStringLiteral("server.key.new"),
                               QStringLiteral("server.crt.new")))
        return false;
    const QString d = directory();
    ::chmod(QFile::encodeName(d + QStringLiteral("/server.key.new")).constData(), 0600);
    for (const char* name : {"server.key", "server.crt"}) {
        const QString path = d + u'/' + QLatin1String(name);
        if (::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                     QFile::encodeName(path).constData()) != 0) {
            m_error = QStringLiteral("cannot replace ") + path;
            return false;
        }
    }
    // The master reloads its configuration, certificates included, on SIGHUP
    // and keeps its listeners.
    if (!isRunning())
        return true; // the next start serves the new files
    if (::kill(pid_t(m_masterPid), SIGHUP) != 0) {
        m_error = QStringLiteral("cannot signal the dovecot master");
        return false;
    }
    return waitUntilServed(serverCertificate());
}

bool DovecotServer::waitUntilServed(const QSslCertificate& certificate)
{
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        QSslSocket probe;
        probe.setPeerVerifyMode(QSslSocket::VerifyNone);
        probe.connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_tlsPort);
        if (probe.waitForEncrypted(2000) && probe.peerCertificate() == certificate) {
            probe.abort();
            return true;
        }
        probe.abort();
        QThread::msleep(50);
    }
    m_error = QStringLiteral("dovecot still serves the old certificate: ") + logText();
    return false;
}

bool DovecotServer::writePasswd(const QString& user, const QByteArray& password)
{
    // One passwd-file per user (the configuration names it by %u): Dovecot
    // checks a file it has read at most once a second, but reads a file it
    // has not seen yet at once, so a user added a moment ago can log in.
    // nodelay: a failed login is answered at once.
    const QByteArray line = user.toUtf8() + ":{PLAIN}" + password + ':' +
                            QByteArray::number(m_uid) + ':' + QByteArray::number(m_gid) +
                            "::" + QFile::encodeName(homeOf(user)) + "::nodelay=yes\n";
    // Written beside and renamed, so Dovecot never reads half a file.
    const QString path = directory() + QStringLiteral("/users/") + user;
    const QString temp = path + QStringLiteral(".new");
    QDir().mkpath(directory() + QStringLiteral("/users"));
    if (!writeFile(temp, line))
        return false;
    ::chmod(QFile::encodeName(temp).constData(), 0644);
    const bool replacing = isRunning() && QFileInfo::exists(path);
    if (replacing) {
        // A changed password is seen only when both the file's time (in
        // seconds) and the time of Dovecot's last look have moved on.
        const time_t now = ::time(nullptr);
        while (::time(nullptr) == now)
            QThread::msleep(20);
        QThread::msleep(1100);
    }
    return ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0;
}

bool DovecotServer::writeConfig()
{
    // The words differ between Dovecot 2.3 and 2.4: the script chooses them
    // by the installed version (dovecot-2.3.conf, dovecot-2.4.conf).
    QString listen = QStringLiteral("127.0.0.1");
    if (m_ipv6)
        listen += QStringLiteral(", ::1");
    return runTool(QStringLiteral("bash"),
                   {QStringLiteral(KESTROVA_DOVECOT_CONFIG_WRITER), directory(), listen,
                    QString::number(m_plainPort), QString::number(m_tlsPort)});
}

bool DovecotServer::start()
{
    if (isRunning())
        return true;
    if (!m_dir) {
        m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/kestrova-dovecot-XXXXXX"));
        if (!m_dir->isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return false;
        }
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
        makeSearchable(m_dir->path());
        QDir(m_dir->path()).mkpath(QStringLiteral("home"));
        // Mail belongs to an ordinary user: Dovecot refuses to serve mail as root.
        m_uid = ::geteuid();
        m_gid = ::getegid();
        if (m_uid == 0) {
            if (const passwd* pw = ::getpwnam("mail")) {
                m_uid = pw->pw_uid;
                m_gid = pw->pw_gid;
            }
        }
        if (!makeCertificates())
            return false;
        ::chmod(QFile::encodeName(directory() + QStringLiteral("/server.key")).constData(), 0600);
        const auto users = m_users;
        for (const auto& [user, password] : users)
            addUser(user, password); // makes the homes of users added before start()
    }
    // The ports are found free, then Dovecot is told them: another program
    // may take one in between, and then Dovecot cannot listen. New ports are
    // tried then.
    for (int attempt = 1;; ++attempt) {
        m_plainPort = freePort(QHostAddress::LocalHost);
        m_tlsPort = freePort(QHostAddress::LocalHost);
        while (m_tlsPort == m_plainPort && m_plainPort != 0)
            m_tlsPort = freePort(QHostAddress::LocalHost);
        m_ipv6 = freePort(QHostAddress::LocalHostIPv6) != 0;
        if (m_plainPort == 0 || m_tlsPort == 0) {
            m_error = QStringLiteral("no free port");
            return false;
        }
        if (!writeConfig())
            return false;
        const Started started = startAndWait();
        if (started != Started::PortTaken || attempt == 5)
            return started == Started::Yes;
    }
}

DovecotServer::Started DovecotServer::startAndWait()
{
    // The master runs in the foreground (-F) as a child of this process, so
    // its process id is known at once instead of from a pid file it writes
    // later. Its output goes to files (it keeps them open for good).
    m_masterPid = startMaster(directory() + QStringLiteral("/dovecot.conf"),
                              directory() + QStringLiteral("/dovecot.out"),
                              directory() + QStringLiteral("/dovecot.err"));
    if (m_masterPid <= 0) {
        m_masterPid = 0;
        m_error = QStringLiteral("cannot run dovecot");
        return Started::No;
    }
    recordMaster(m_masterPid, true);

    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        int status = 0;
        if (::waitpid(pid_t(m_masterPid), &status, WNOHANG) == pid_t(m_masterPid)) {
            // It ended by itself (a configuration it refused): nothing to stop.
            recordMaster(m_masterPid, false);
            m_masterPid = 0;
            QFile err(directory() + QStringLiteral("/dovecot.err"));
            err.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("dovecot did not start: ") + QString::fromUtf8(err.readAll()) +
                      logText();
            return m_error.contains(QStringLiteral("Address already in use")) ? Started::PortTaken
                                                                              : Started::No;
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_plainPort);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000)) {
            probe.abort();
            return Started::Yes;
        }
        QThread::msleep(50);
    }
    m_error = QStringLiteral("dovecot does not answer: ") + logText();
    stop();
    return Started::No;
}

void DovecotServer::stop()
{
    if (m_masterPid <= 0)
        return;
    const pid_t pid = pid_t(m_masterPid);
    m_masterPid = 0;
    // The master stops its services and ends; whatever of its session is
    // left after that (it was killed, or a service hangs) is killed.
    ::kill(pid, SIGTERM);
    if (!reap(pid, 10000)) {
        ::kill(pid, SIGKILL);
        reap(pid, 5000);
    }
    const QDeadlineTimer deadline(5000);
    while (!sessionMembers(pid).isEmpty() && !deadline.hasExpired())
        QThread::msleep(20);
    for (const pid_t member : sessionMembers(pid))
        ::kill(member, SIGKILL);
    recordMaster(pid, false);
}

bool DovecotServer::addUser(const QString& user, const QByteArray& password)
{
    if (user.isEmpty() || user.contains(u'/') || user.contains(u':') || user.contains(u'\n') ||
        password.contains(':') || password.contains('\n') || password.contains('\r'))
        return false;
    const auto it = std::find_if(m_users.begin(), m_users.end(),
                                 [&](const auto& entry) { return entry.first == user; });
    if (it != m_users.end())
        it->second = password;
    else
        m_users.append({user, password});
    if (!m_dir)
        return true; // set up by start()
    const QString maildir = homeOf(user) + QStringLiteral("/Maildir");
    for (const char* sub : {"new", "cur", "tmp"})
        QDir().mkpath(maildir + u'/' + QLatin1String(sub));
    for (const QString& path : {homeOf(user), maildir, maildir + QStringLiteral("/new"),
                                maildir + QStringLiteral("/cur"), maildir + QStringLiteral("/tmp")})
        [[maybe_unused]] const int rc = ::chown(QFile::encodeName(path).constData(), m_uid, m_gid);
    return writePasswd(user, password);
}

bool DovecotServer::addMessage(const QString& user, const QByteArray& bytes)
{
    if (!m_dir)
        return false;
    const QString maildir = homeOf(user) + QStringLiteral("/Maildir");
    if (!QFileInfo::exists(maildir))
        return false;
    // Dovecot numbers new mail by the time in the file name: count up from a
    // fixed past time so the order is the order of adding.
    ++m_messageCounter;
    const QString name = QStringLiteral("%1.M%2P%3.kestrova")
                             .arg(1000000000 + m_messageCounter)
                             .arg(m_messageCounter)
                             .arg(::getpid());
    const QString temp = maildir + QStringLiteral("/tmp/") + name;
    if (!writeFile(temp, bytes))
        return false;
    [[maybe_unused]] const int rc = ::chown(QFile::encodeName(temp).constData(), m_uid, m_gid);
    return ::rename(QFile::encodeName(temp).constData(),
                    QFile::encodeName(maildir + QStringLiteral("/new/") + name).constData()) == 0;
}

QList<QByteArray> DovecotServer::messages(const QString& user) const
{
    const QString maildir = homeOf(user) + QStringLiteral("/Maildir");
    QList<QPair<QString, QString>> files; // base name (order), path
    for (const char* sub : {"new", "cur"}) {
        const QDir dir(maildir + u'/' + QLatin1String(sub));
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files))
            files.append({info.fileName().section(u':', 0, 0), info.filePath()});
    }
    std::sort(files.begin(), files.end());
    QList<QByteArray> result;
    for (const auto& [base, path] : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            result.append(file.readAll());
    }
    return result;
}
