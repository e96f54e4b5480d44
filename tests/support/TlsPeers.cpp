#include "support/TlsPeers.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

const char kServer[] = R"PY(
import asyncio, os, ssl, sys
from aiosmtpd.smtp import SMTP, AuthResult

mode, port, cert, key, store = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
os.makedirs(store, exist_ok=True)

class Store:
    async def handle_DATA(self, server, session, envelope):
        n = len(os.listdir(store))
        with open(os.path.join(store, '%04d.eml' % n), 'wb') as f:
            f.write(envelope.original_content)
        return '250 stored'

def authenticate(server, session, envelope, mechanism, data):
    return AuthResult(success=data.login == b'alice' and data.password == b'wonderland', handled=False)

ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
ctx.load_cert_chain(cert, key)
kw = dict(hostname='localhost', authenticator=authenticate, auth_required=True)
if mode == 'starttls':
    kw.update(tls_context=ctx, require_starttls=True)
else:
    kw.update(auth_require_tls=False)
loop = asyncio.new_event_loop()
asyncio.set_event_loop(loop)
server = loop.run_until_complete(loop.create_server(lambda: SMTP(Store(), **kw), host='127.0.0.1', port=port,
                                                    ssl=ctx if mode == 'tls' else None))
print('listening', flush=True)
loop.run_forever()
)PY";

bool Run(const QString& dir, const QStringList& args, QString* error)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        *error = QStringLiteral("openssl %1: %2").arg(args.value(0), QString::fromLocal8Bit(p.readAll()) + p.errorString());
        return false;
    }
    return true;
}

} // namespace

bool TTestCertificates::Make(QString* error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString d = m_dir.path();
    QFile ext(m_dir.filePath(QStringLiteral("ext.cnf")));
    if (!ext.open(QIODevice::WriteOnly) || ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") < 0) {
        *error = QStringLiteral("cannot write ext.cnf");
        return false;
    }
    ext.close();
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                         QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    return Run(d, QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
                      + QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                                    QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                                    QStringLiteral("-subj"), QStringLiteral("/CN=Quorvel Test CA")},
               error)
        && Run(d, QStringList{QStringLiteral("req")} + ec
                      + QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                                    QStringLiteral("server.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost")},
               error)
        && Run(d,
               {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                QStringLiteral("-CA"), QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), QStringLiteral("server.pem"),
                QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("ext.cnf")},
               error);
}

bool TTlsSmtpServer::Start(Mode mode, const TTestCertificates& certificates, QString* error)
{
    const QString python = mailpeers::Python();
    if (python.isEmpty()) {
        *error = QStringLiteral("no Python interpreter with the aiosmtpd module (package python3-aiosmtpd)");
        return false;
    }
    QFile script(m_dir.filePath(QStringLiteral("tls_server.py")));
    if (!m_dir.isValid() || !script.open(QIODevice::WriteOnly) || script.write(kServer) < 0) {
        *error = QStringLiteral("cannot write the server script");
        return false;
    }
    script.close();
    m_port = mailpeers::FreePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONUNBUFFERED"), QStringLiteral("1"));
    const QStringList args{script.fileName(),
                           mode == Mode::Tls ? QStringLiteral("tls") : QStringLiteral("starttls"),
                           QString::number(m_port),
                           certificates.CertFile(),
                           certificates.KeyFile(),
                           m_dir.filePath(QStringLiteral("messages"))};
    return m_process.Start(python, args, env, m_dir.path(), error) && m_process.WaitForPort(m_port, 30000, error);
}

QList<QByteArray> TTlsSmtpServer::Messages() const
{
    QList<QByteArray> out;
    const QDir dir(m_dir.filePath(QStringLiteral("messages")));
    for (const QString& name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out << f.readAll();
    }
    return out;
}

bool TTlsTunnel::Start(quint16 targetPort, const TTestCertificates& certificates, QString* error)
{
    QString stunnel = mailpeers::Executable(QStringLiteral("stunnel4"));
    if (stunnel.isEmpty())
        stunnel = mailpeers::Executable(QStringLiteral("stunnel"));
    if (stunnel.isEmpty()) {
        *error = QStringLiteral("stunnel is not installed (package stunnel4)");
        return false;
    }
    m_port = mailpeers::FreePort();
    // In the foreground, logging to its standard error, no pid file: a child like the others.
    const QString config = QStringLiteral("foreground = yes\npid =\ndebug = notice\n"
                                          "[tunnel]\naccept = 127.0.0.1:%1\nconnect = 127.0.0.1:%2\n"
                                          "cert = %3\nkey = %4\n")
                               .arg(m_port)
                               .arg(targetPort)
                               .arg(certificates.CertFile(), certificates.KeyFile());
    QFile file(m_dir.filePath(QStringLiteral("stunnel.conf")));
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        *error = QStringLiteral("cannot write the stunnel configuration");
        return false;
    }
    file.close();
    return m_process.Start(stunnel, {file.fileName()}, QProcessEnvironment::systemEnvironment(), m_dir.path(), error)
        && m_process.WaitForPort(m_port, 15000, error);
}
