#include "support/MailPeers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mailpeers {

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool IsRoot()
{
    return geteuid() == 0;
}

QString Executable(const QString& name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                     QStringLiteral("/usr/local/sbin")});
    return path;
}

QString Python()
{
    // The distribution's interpreter first: that is where the package installs the module.
    QStringList candidates{QStringLiteral("/usr/bin/python3")};
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!inPath.isEmpty() && !candidates.contains(inPath))
        candidates << inPath;
    for (const QString& py : std::as_const(candidates)) {
        if (!QFile::exists(py))
            continue;
        QProcess p;
        p.start(py, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")});
        if (p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return py;
    }
    return QString();
}

} // namespace mailpeers

// ---------------------------------------------------------------------------------------------

bool TPeerProcess::Start(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                         const QString& workDir, QString* error)
{
    m_process.setProgram(program);
    m_process.setArguments(args);
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(workDir);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // Should the test process die, the kernel ends the server too.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        *error = program + QStringLiteral(": ") + m_process.errorString();
        return false;
    }
    return true;
}

QString TPeerProcess::Output()
{
    m_output += m_process.readAll();
    return QString::fromLocal8Bit(m_output);
}

bool TPeerProcess::WaitForPort(quint16 port, int timeoutMs, QString* error)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            *error = QStringLiteral("the server ended at once: ") + Output();
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(500)) {
            probe.abort();
            return true;
        }
        // Not listening yet: wait for the process to say something or for a short while.
        m_process.waitForReadyRead(50);
        m_output += m_process.readAll();
    }
    *error = QStringLiteral("the server did not open port %1 in time: ").arg(port) + Output();
    return false;
}

void TPeerProcess::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(15000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_output += m_process.readAll();
}

// ---------------------------------------------------------------------------------------------

namespace {

// Stores each message as it arrived (after dot-stuffing was undone) plus its envelope.
const char kStoreHandler[] = R"PY(
import json, os

class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        os.makedirs(folder, exist_ok=True)

    @classmethod
    def from_cli(cls, parser, *args):
        return cls(args[0])

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%06d" % self.count)
        with open(base + ".env", "w") as f:
            json.dump({"from": envelope.mail_from, "rcpt": envelope.rcpt_tos}, f)
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".tmp", base + ".eml")
        return "250 OK stored"
)PY";

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

bool TAiosmtpdServer::Start(QString* error)
{
    const QString python = mailpeers::Python();
    if (python.isEmpty()) {
        *error = QStringLiteral("no Python interpreter with the aiosmtpd module (package python3-aiosmtpd)");
        return false;
    }
    if (!m_dir.isValid() || !WriteFile(m_dir.filePath(QStringLiteral("quorvel_store.py")), kStoreHandler)) {
        *error = QStringLiteral("cannot write the handler module");
        return false;
    }
    m_port = mailpeers::FreePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONPATH"), m_dir.path());
    env.insert(QStringLiteral("PYTHONUNBUFFERED"), QStringLiteral("1"));
    const QStringList args{QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"), QStringLiteral("-l"),
                           QStringLiteral("127.0.0.1:%1").arg(m_port), QStringLiteral("-c"),
                           QStringLiteral("quorvel_store.Store"), m_dir.filePath(QStringLiteral("messages"))};
    return m_process.Start(python, args, env, m_dir.path(), error) && m_process.WaitForPort(m_port, 30000, error);
}

QList<TAiosmtpdServer::Message> TAiosmtpdServer::Messages() const
{
    QList<Message> out;
    QDir dir(m_dir.filePath(QStringLiteral("messages")));
    for (const QString& name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        Message m;
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            m.content = f.readAll();
        QFile e(dir.filePath(name.chopped(4) + QStringLiteral(".env")));
        if (e.open(QIODevice::ReadOnly)) {
            // {"from": "...", "rcpt": ["...", ...]}: small enough for a hand-made reader.
            const QString json = QString::fromUtf8(e.readAll());
            const auto strings = [&](qsizetype from, qsizetype to) {
                QStringList list;
                for (qsizetype i = json.indexOf(u'"', from); i >= 0 && i < to; i = json.indexOf(u'"', i + 1)) {
                    const qsizetype end = json.indexOf(u'"', i + 1);
                    list << json.mid(i + 1, end - i - 1);
                    i = end;
                }
                return list;
            };
            const qsizetype fromKey = json.indexOf(QLatin1String("\"from\""));
            const qsizetype rcptKey = json.indexOf(QLatin1String("\"rcpt\""));
            m.from = strings(fromKey + 6, rcptKey).value(0);
            m.rcpt = strings(json.indexOf(u'[', rcptKey), json.indexOf(u']', rcptKey));
        }
        out << m;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

TDovecotServer::TDovecotServer()
{
    QDir d(m_dir.path());
    for (const char* sub : {"Maildir/new", "Maildir/cur", "Maildir/tmp", "run", "state", "home"})
        d.mkpath(QString::fromLatin1(sub));
}

QString TDovecotServer::AddMessage(const QByteArray& bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("Maildir/new/%1.%2.quorvel").arg(1700000000 + m_added).arg(m_added));
    ++m_added;
    WriteFile(path, bytes);
    return path;
}

bool TDovecotServer::Start(QString* error)
{
    const QString dovecot = mailpeers::Executable(QStringLiteral("dovecot"));
    if (dovecot.isEmpty()) {
        *error = QStringLiteral("dovecot is not installed (package dovecot-pop3d)");
        return false;
    }
    const QString root = m_dir.path();
    // The unprivileged mail and login processes must reach the folder.
    chmod(QFile::encodeName(root).constData(), 0755);
    uid_t uid = getuid();
    gid_t gid = getgid();
    QString extra;
    if (mailpeers::IsRoot()) {
        // Dovecot never serves mail as root: the mailbox belongs to "nobody".
        if (const passwd* pw = getpwnam("nobody")) {
            uid = pw->pw_uid;
            gid = pw->pw_gid;
        } else {
            uid = gid = 65534;
        }
        QDirIterator it(root + QStringLiteral("/Maildir"), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        chown(QFile::encodeName(root + QStringLiteral("/Maildir")).constData(), uid, gid);
        chown(QFile::encodeName(root + QStringLiteral("/home")).constData(), uid, gid);
        while (it.hasNext())
            chown(QFile::encodeName(it.next()).constData(), uid, gid);
    } else {
        // Everything runs as the current user.
        const passwd* pw = getpwuid(uid);
        const group* gr = getgrgid(gid);
        const QString user = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
        const QString grp = gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(gid);
        extra = QStringLiteral("default_internal_user = %1\ndefault_internal_group = %2\ndefault_login_user = %1\n"
                               "service anvil {\n  chroot =\n}\n")
                    .arg(user, grp);
    }
    m_port = mailpeers::FreePort();
    const QString config = QStringLiteral(
        "protocols = pop3\n"
        "listen = 127.0.0.1\n"
        "base_dir = %1/run\n"
        "state_dir = %1/state\n"
        "log_path = %1/dovecot.log\n"
        "info_log_path = %1/dovecot.log\n"
        "%3"
        "disable_plaintext_auth = no\n"
        "auth_mechanisms = plain\n"
        "mail_location = maildir:%1/Maildir\n"
        "first_valid_uid = 1\n"
        "passdb {\n  driver = passwd-file\n  args = %1/passwd\n}\n"
        "userdb {\n  driver = passwd-file\n  args = %1/passwd\n}\n"
        "service pop3-login {\n  chroot =\n  inet_listener %4 {\n    port = %2\n%5  }\n%6}\n")
        .arg(root)
        .arg(m_port)
        .arg(m_certFile.isEmpty() ? QStringLiteral("ssl = no\n")
                                  : QStringLiteral("ssl = yes\nssl_cert = <%1\nssl_key = <%2\n").arg(m_certFile, m_keyFile))
        .arg(m_implicitTls ? QStringLiteral("pop3s") : QStringLiteral("pop3"))
        .arg(m_implicitTls ? QStringLiteral("    ssl = yes\n") : QString())
        .arg(m_implicitTls ? QStringLiteral("  inet_listener pop3 {\n    port = 0\n  }\n") : QString())
        + extra;
    if (!WriteFile(root + QStringLiteral("/dovecot.conf"), config.toUtf8())
        || !WriteFile(root + QStringLiteral("/passwd"),
                      QStringLiteral("%1:{PLAIN}%2:%3:%4::%5/home\n").arg(User(), Password()).arg(uid).arg(gid).arg(root).toUtf8())) {
        *error = QStringLiteral("cannot write the Dovecot configuration");
        return false;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!m_process.Start(dovecot, {QStringLiteral("-F"), QStringLiteral("-c"), root + QStringLiteral("/dovecot.conf")},
                         env, root, error))
        return false;
    if (!m_process.WaitForPort(m_port, 30000, error)) {
        *error += QStringLiteral("\n") + Log();
        return false;
    }
    return true;
}

QList<QByteArray> TDovecotServer::Messages() const
{
    QList<QByteArray> out;
    for (const char* sub : {"Maildir/new", "Maildir/cur"}) {
        QDir d(m_dir.filePath(QString::fromLatin1(sub)));
        for (const QString& name : d.entryList(QDir::Files, QDir::Name)) {
            QFile f(d.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                out << f.readAll();
        }
    }
    return out;
}

QString TDovecotServer::Log() const
{
    QFile f(m_dir.filePath(QStringLiteral("dovecot.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

// ---------------------------------------------------------------------------------------------

bool TSmtpSink::Start(const QStringList& extraArgs, QString* error)
{
    const QString sink = mailpeers::Executable(QStringLiteral("smtp-sink"));
    if (sink.isEmpty()) {
        *error = QStringLiteral("smtp-sink is not installed (package postfix)");
        return false;
    }
    m_port = mailpeers::FreePort();
    QStringList args = extraArgs;
    if (mailpeers::IsRoot())
        args << QStringLiteral("-u") << QStringLiteral("nobody");
    args << QStringLiteral("127.0.0.1:%1").arg(m_port) << QStringLiteral("128");
    return m_process.Start(sink, args, QProcessEnvironment::systemEnvironment(), m_dir.path(), error)
        && m_process.WaitForPort(m_port, 15000, error);
}
