#include "support/MailPeers.h"

#include <cstring>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QRegularExpression>
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
    const bool ownGroup = m_ownGroup;
    m_process.setChildProcessModifier([ownGroup] {
        if (ownGroup)
            setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        *error = program + QStringLiteral(": ") + m_process.errorString();
        return false;
    }
    m_group = ownGroup ? m_process.processId() : 0;
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
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(15000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        m_output += m_process.readAll();
    }
    // Whatever the server's children left behind goes with it.
    if (m_group > 0)
        ::kill(-pid_t(m_group), SIGKILL);
    m_group = 0;
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
        // A file left to root only makes the server's own access fail, which the test reports.
        const auto give = [uid, gid](const QString& path) {
            if (::chown(QFile::encodeName(path).constData(), uid, gid) != 0)
                qWarning("chown %s: %s", qPrintable(path), strerror(errno));
        };
        give(root + QStringLiteral("/Maildir"));
        give(root + QStringLiteral("/home"));
        while (it.hasNext())
            give(it.next());
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

// ---------------------------------------------------------------------------------------------

namespace {

// Queue folders as postfix-script would make them: owner, group (0 = root) and mode.
struct TQueueFolder
{
    const char* name;
    bool postdrop;
    mode_t mode;
};
constexpr TQueueFolder kQueueFolders[] = {
    {"active", false, 0700},   {"bounce", false, 0700}, {"corrupt", false, 0700},  {"defer", false, 0700},
    {"deferred", false, 0700}, {"flush", false, 0700},  {"hold", false, 0700},     {"incoming", false, 0700},
    {"private", false, 0700},  {"saved", false, 0700},  {"trace", false, 0700},    {"maildrop", true, 0730},
    {"public", true, 0710},
};
// Where messages wait; "deferred" means a delivery failed for now.
constexpr const char* kWaitingFolders[] = {"maildrop", "incoming", "active", "deferred", "hold"};

// Only the services smtpd, the queue manager and the virtual agent call on.
const char kMasterCf[] = R"CF(%1 inet n - n - - smtpd
cleanup unix n - n - 0 cleanup
qmgr unix n - n 300 1 qmgr
rewrite unix - - n - - trivial-rewrite
bounce unix - - n - 0 bounce
defer unix - - n - 0 bounce
trace unix - - n - 0 bounce
verify unix - - n - 1 verify
flush unix n - n 1000? 0 flush
proxymap unix - - n - - proxymap
error unix - - n - - error
retry unix - - n - - error
discard unix - - n - - discard
virtual unix - n n - - virtual
anvil unix - - n - 1 anvil
postlog unix-dgram n - n - 1 postlogd
)CF";

const char kMainCf[] = R"CF(compatibility_level = 3.6
config_directory = %1/etc
queue_directory = %1/queue
data_directory = %1/data
maillog_file = %1/maillog
maillog_file_prefixes = %1
mail_owner = postfix
setgid_group = postdrop
myhostname = mail.%2
mydomain = %2
myorigin = %2
mydestination =
mynetworks = 127.0.0.1/32
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
alias_maps =
alias_database =
local_recipient_maps =
relay_domains =
smtpd_relay_restrictions = reject_unauth_destination
default_transport = error:outbound mail is disabled
relay_transport = error:outbound mail is disabled
biff = no
smtpd_peername_lookup = no
# Keep the message as the client sent it: no missing headers added, no addresses rewritten.
local_header_rewrite_clients =
# Flow control would slow the client under test down, not the server.
in_flow_delay = 0s
virtual_mailbox_domains = %2
virtual_mailbox_base = %1/mail
virtual_mailbox_maps = regexp:%1/etc/vmailbox
virtual_mailbox_limit = 0
virtual_uid_maps = static:%3
virtual_gid_maps = static:%4
smtpd_client_event_limit_exceptions =
)CF";

bool MakeFolder(const QString& path, uid_t uid, gid_t gid, mode_t mode)
{
    const QByteArray p = QFile::encodeName(path);
    return QDir().mkpath(path) && chown(p.constData(), uid, gid) == 0 && chmod(p.constData(), mode) == 0;
}

QString Regexp(const QString& text)
{
    return QRegularExpression::escape(text);
}

// The address on the Delivered-To line among the lines the virtual agent put on top.
QString DeliveredTo(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    for (int i = 0; i < 8 && !f.atEnd(); ++i) {
        const QByteArray line = f.readLine().trimmed();
        if (line.isEmpty())
            break;
        if (line.startsWith("Delivered-To:"))
            return QString::fromUtf8(line.mid(13).trimmed());
    }
    return QString();
}

} // namespace

bool TPostfixServer::Start(const Options& options, QString* error)
{
    const QString master = QStringLiteral("/usr/lib/postfix/sbin/master");
    if (!QFile::exists(master)) {
        *error = QStringLiteral("Postfix is not installed (package postfix)");
        return false;
    }
    if (!mailpeers::IsRoot()) {
        *error = QStringLiteral("a private Postfix needs root (its daemons change to the postfix user)");
        return false;
    }
    const passwd* owner = getpwnam("postfix");
    const group* postdrop = getgrnam("postdrop");
    if (!owner || !postdrop) {
        *error = QStringLiteral("the postfix user or the postdrop group is missing (package postfix)");
        return false;
    }
    const uid_t postfixUid = owner->pw_uid;
    const gid_t postfixGid = owner->pw_gid;
    const gid_t postdropGid = postdrop->gr_gid;
    uid_t mailUid = 65534;
    gid_t mailGid = 65534;
    if (const passwd* pw = getpwnam("nobody")) {
        mailUid = pw->pw_uid;
        mailGid = pw->pw_gid;
    }
    if (!m_dir.isValid()) {
        *error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    const QString root = m_dir.path();
    // The daemons (postfix) and the virtual agent (nobody) must reach their folders.
    chmod(QFile::encodeName(root).constData(), 0755);
    bool made = MakeFolder(Path("etc"), 0, 0, 0755) && MakeFolder(Path("queue"), 0, 0, 0755)
        && MakeFolder(Path("queue/pid"), 0, 0, 0755) && MakeFolder(Path("data"), postfixUid, postfixGid, 0700)
        && MakeFolder(Path("mail"), mailUid, mailGid, 0700);
    for (const TQueueFolder& q : kQueueFolders)
        made = made
            && MakeFolder(Path("queue/") + QString::fromLatin1(q.name), postfixUid, q.postdrop ? postdropGid : 0,
                          q.mode);
    if (!made) {
        *error = QStringLiteral("cannot make the Postfix folders under ") + root;
        return false;
    }

    m_port = mailpeers::FreePort();
    QString mainCf = QString::fromLatin1(kMainCf).arg(root, Domain()).arg(mailUid).arg(mailGid);
    mainCf += QStringLiteral("smtpd_recipient_limit = %1\n"
                             "smtpd_hard_error_limit = %2\n"
                             "smtpd_soft_error_limit = %3\n"
                             "smtpd_error_sleep_time = %4s\n"
                             "smtpd_client_message_rate_limit = %5\n"
                             "smtpd_timeout = %6s\n"
                             "message_size_limit = %7\n"
                             "smtpd_delay_reject = %8\n")
                  .arg(options.recipientLimit)
                  .arg(options.hardErrorLimit)
                  .arg(options.softErrorLimit)
                  .arg(options.errorSleepSeconds)
                  .arg(options.messageRateLimit)
                  .arg(options.timeoutSeconds)
                  .arg(options.messageSizeLimit)
                  .arg(options.delayReject ? QStringLiteral("yes") : QStringLiteral("no"));
    if (!options.pipelining)
        mainCf += QStringLiteral("smtpd_discard_ehlo_keywords = pipelining\n");
    if (options.requireFqdnHelo)
        mainCf += QStringLiteral("smtpd_helo_required = yes\n"
                                 "smtpd_helo_restrictions = reject_invalid_helo_hostname, reject_non_fqdn_helo_hostname\n");
    QStringList rcptRestrictions;
    if (!options.rejectLocalParts.isEmpty())
        rcptRestrictions << QStringLiteral("check_recipient_access regexp:%1/etc/reject").arg(root);
    if (options.rcptDelaySeconds > 0)
        rcptRestrictions << QStringLiteral("sleep %1").arg(options.rcptDelaySeconds);
    if (!rcptRestrictions.isEmpty())
        mainCf += QStringLiteral("smtpd_recipient_restrictions = ") + rcptRestrictions.join(QStringLiteral(", "))
            + u'\n';

    // One Maildir for the whole domain: the virtual agent takes no address part from a regular
    // expression, so recipients are told apart by their Delivered-To lines.
    const QString vmailbox = QStringLiteral("/@%1$/\t%2/all/\n").arg(Regexp(Domain()), Domain());
    const QString reject = QStringLiteral("/^(%1)@/\t550 5.1.1 mailbox unavailable\n").arg(options.rejectLocalParts);
    if (!WriteFile(Path("etc/main.cf"), mainCf.toUtf8())
        || !WriteFile(Path("etc/master.cf"), QString::fromLatin1(kMasterCf).arg(QStringLiteral("127.0.0.1:%1").arg(m_port)).toUtf8())
        || !WriteFile(Path("etc/vmailbox"), vmailbox.toUtf8()) || !WriteFile(Path("etc/reject"), reject.toUtf8())) {
        *error = QStringLiteral("cannot write the Postfix configuration");
        return false;
    }
    // Postfix reads main.cf again and again, 300 ms apart, until it is two seconds old (so as not
    // to read one being written): a file made "a minute ago" saves those seconds.
    for (const char* name : {"etc/main.cf", "etc/master.cf", "etc/vmailbox", "etc/reject"}) {
        QFile f(Path(name));
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
    }

    // master ends its children by signalling its process group, so it must lead one.
    m_process.SetOwnProcessGroup(true);
    if (!m_process.Start(master, {QStringLiteral("-c"), Path("etc"), QStringLiteral("-d")},
                         QProcessEnvironment::systemEnvironment(), root, error))
        return false;
    if (!m_process.WaitForPort(m_port, 15000, error)) {
        *error += QStringLiteral("\n") + Log();
        return false;
    }
    return true;
}

void TPostfixServer::Stop()
{
    m_process.Stop();
    if (m_port == 0)
        return;
    const QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (!probe.waitForConnected(200))
            break;
        probe.abort();
        QThread::msleep(10);
    }
}

bool TPostfixServer::WaitForQueueEmpty(int timeoutMs, QString* error)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QStringList waiting;
        bool deferred = false;
        for (const char* name : kWaitingFolders) {
            QDirIterator it(Path("queue/") + QString::fromLatin1(name), QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                waiting << QString::fromLatin1(name) + u'/' + it.next().section(u'/', -1);
                deferred = deferred || qstrcmp(name, "deferred") == 0;
            }
        }
        if (waiting.isEmpty())
            return true;
        if (deferred || deadline.hasExpired() || !m_process.Running()) {
            *error = QStringLiteral("%1 still in the queue (%2)%3:\n")
                         .arg(waiting.join(QStringLiteral(", ")),
                              deferred ? QStringLiteral("deferred") : QStringLiteral("timeout"),
                              m_process.Running() ? QString() : QStringLiteral(", Postfix has ended"))
                + Log();
            return false;
        }
        QThread::msleep(10);
    }
}

QStringList TPostfixServer::MaildirFiles() const
{
    QStringList files;
    for (const char* sub : {"new", "cur"}) {
        QDir d(Path("mail/") + Domain() + QStringLiteral("/all/") + QString::fromLatin1(sub));
        for (const QString& name : d.entryList(QDir::Files, QDir::Name))
            files << d.filePath(name);
    }
    return files;
}

QMap<QString, int> TPostfixServer::Deliveries() const
{
    QMap<QString, int> out;
    for (const QString& file : MaildirFiles())
        ++out[DeliveredTo(file)];
    return out;
}

QList<QByteArray> TPostfixServer::Messages(const QString& address) const
{
    QList<QByteArray> out;
    for (const QString& file : MaildirFiles()) {
        if (DeliveredTo(file).compare(address, Qt::CaseInsensitive) != 0)
            continue;
        QFile f(file);
        if (f.open(QIODevice::ReadOnly))
            out << f.readAll();
    }
    return out;
}

QByteArray TPostfixServer::AsSent(const QByteArray& stored)
{
    QList<QByteArray> lines = stored.split('\n');
    if (stored.endsWith('\n'))
        lines.removeLast();
    qsizetype i = 0;
    for (const char* name : {"Return-Path:", "X-Original-To:", "Delivered-To:"})
        if (i < lines.size() && lines[i].startsWith(name))
            ++i;
    if (i < lines.size() && lines[i].startsWith("Received:"))
        for (++i; i < lines.size() && (lines[i].startsWith('\t') || lines[i].startsWith(' '));)
            ++i;
    QByteArray out;
    for (; i < lines.size(); ++i)
        out += lines[i] + "\r\n";
    return out;
}

QString TPostfixServer::Log() const
{
    QFile f(Path("maillog"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}
