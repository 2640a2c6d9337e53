#include "cardstack.h"

#include "fixturepaths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QThread>

#include <winscard.h>

#include <memory>
#include <stdexcept>

namespace {

const QString readerName = QStringLiteral("Quillmark Virtual Reader");
const QString bundlePassword = QStringLiteral("bundle");
// NSS nicknames the emulator is told to put on the card, in its order.
const QStringList nicknames = {QStringLiteral("cert1"), QStringLiteral("cert2"), QStringLiteral("cert3")};
const QStringList holders = {QStringLiteral("Quillmark Card Holder"), QStringLiteral("Quillmark Card Holder E-mail"),
                             QStringLiteral("Quillmark Card Holder Encryption")};
constexpr int toolTimeout = 30000;
constexpr int pollMilliseconds = 50;

[[noreturn]] void fail(const QString &what)
{
    throw std::runtime_error("card stack: " + what.toStdString());
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        fail(QStringLiteral("cannot write ") + path);
}

void run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(toolTimeout) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        fail(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll()));
}

// A TCP port nobody listens on at the moment, for vpcd to take.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::Any, 0))
        fail(QStringLiteral("no free TCP port"));
    return probe.serverPort();
}

struct ContextRelease
{
    void operator()(SCARDCONTEXT *context) const
    {
        SCardReleaseContext(*context);
        delete context;
    }
};
using PcscContext = std::unique_ptr<SCARDCONTEXT, ContextRelease>;

PcscContext establishContext()
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return PcscContext();
    return PcscContext(new SCARDCONTEXT(context));
}

// Whether the first slot of our reader holds a card, as pcscd sees it now.
bool readerHoldsCard()
{
    const PcscContext context = establishContext();
    if (!context)
        return false;
    char names[4096];
    DWORD length = sizeof names;
    if (SCardListReaders(*context, nullptr, names, &length) != SCARD_S_SUCCESS)
        return false;
    for (const char *name = names; *name; name += qstrlen(name) + 1) {
        if (!QString::fromUtf8(name).startsWith(readerName))
            continue;
        SCARD_READERSTATE state{};
        state.szReader = name;
        state.dwCurrentState = SCARD_STATE_UNAWARE;
        return SCardGetStatusChange(*context, 0, &state, 1) == SCARD_S_SUCCESS
               && (state.dwEventState & SCARD_STATE_PRESENT);
    }
    return false;
}

} // namespace

CardStack::CardStack(const QString &directory, const QString &pin)
    : m_directory(QDir(directory).absolutePath()), m_socket(m_directory + QStringLiteral("/pcscd.comm"))
{
    QDir(m_directory).removeRecursively();
    if (!QDir().mkpath(m_directory + QStringLiteral("/nss")) || !QDir().mkpath(m_directory + QStringLiteral("/readers")))
        fail(QStringLiteral("cannot create ") + m_directory);
    // libpcsclite reads the socket name once, at its first use.
    qputenv("PCSCLITE_CSOCK_NAME", QFile::encodeName(m_socket));
    createDatabase(pin);
    writeReaderConfiguration();
    // The bridge keeps trying the reader's port until pcscd opens it.
    startBridge();
    startReader();
}

CardStack::~CardStack()
{
    m_bridge.closeWriteChannel();
    m_pcscd.terminate();
}

QString CardStack::modulePath()
{
    return QStringLiteral(OPENSC_PKCS11_MODULE);
}

QString CardStack::socketPath() const
{
    return m_socket;
}

QList<FixtureCredential> CardStack::credentials() const
{
    return m_credentials;
}

QString CardStack::tokenLabel() const
{
    return holders.constFirst();
}

void CardStack::removeCard()
{
    sendToBridge("remove");
    waitForCard(false);
}

void CardStack::insertCard()
{
    sendToBridge("insert");
    waitForCard(true);
}

void CardStack::stopReader()
{
    m_pcscd.terminate();
    if (!m_pcscd.waitForFinished(readerTimeout))
        fail(QStringLiteral("pcscd does not stop"));
}

void CardStack::startReader()
{
    // Started by socket activation, pcscd serves the socket it is handed;
    // on its own it would take the system's.
    QFile::remove(m_socket);
    m_pcscd.setProcessChannelMode(QProcess::MergedChannels);
    m_pcscd.setStandardOutputFile(m_directory + QStringLiteral("/pcscd.log"), QIODevice::Append);
    m_pcscd.start(QStringLiteral("systemd-socket-activate"),
                  {QStringLiteral("--listen=") + m_socket, QStringLiteral("pcscd"), QStringLiteral("--foreground"),
                   QStringLiteral("--config"), m_directory + QStringLiteral("/readers")});
    if (!m_pcscd.waitForStarted(toolTimeout))
        fail(QStringLiteral("systemd-socket-activate does not start"));
    QDeadlineTimer deadline(readerTimeout);
    while (!QFileInfo::exists(m_socket)) {
        if (deadline.hasExpired() || m_pcscd.state() != QProcess::Running)
            fail(QStringLiteral("pcscd's socket does not appear"));
        QThread::msleep(pollMilliseconds);
    }
    // The first client makes the socket activation start pcscd.
    establishContext();
    waitForCard(true);
}

void CardStack::createDatabase(const QString &pin)
{
    const QString pinFile = m_directory + QStringLiteral("/pin.txt");
    const QString database = QStringLiteral("sql:") + m_directory + QStringLiteral("/nss");
    writeFile(pinFile, pin.toUtf8() + '\n');
    // The database password is what the emulated card checks as its PIN.
    run(QStringLiteral("certutil"), {QStringLiteral("-N"), QStringLiteral("-d"), database, QStringLiteral("-f"), pinFile});
    const FixtureCredential authority = FixtureCredential::developmentAuthority();
    for (int i = 0; i < nicknames.size(); ++i) {
        m_credentials.append(authority.issue(holders.at(i), true));
        const QString bundle = m_directory + QStringLiteral("/") + nicknames.at(i) + QStringLiteral(".p12");
        writeFile(bundle, m_credentials.last().pkcs12(nicknames.at(i), bundlePassword));
        run(QStringLiteral("pk12util"), {QStringLiteral("-i"), bundle, QStringLiteral("-d"), database,
                                         QStringLiteral("-k"), pinFile, QStringLiteral("-W"), bundlePassword});
    }
}

void CardStack::writeReaderConfiguration()
{
    m_port = freePort();
    const QByteArray channel = "0x" + QByteArray::number(m_port, 16);
    writeFile(m_directory + QStringLiteral("/readers/vpcd"),
              "FRIENDLYNAME \"" + readerName.toUtf8() + "\"\n"
              "DEVICENAME /dev/null:" + channel + "\n"
              "LIBPATH " VPCD_DRIVER "\n"
              "CHANNELID " + channel + "\n");
}

void CardStack::startBridge()
{
    QStringList arguments{QStringLiteral("--port"), QString::number(m_port), QStringLiteral("--database"),
                          QStringLiteral("sql:") + m_directory + QStringLiteral("/nss")};
    for (const QString &nickname : nicknames)
        arguments << QStringLiteral("--certificate") << nickname;
    m_bridge.setProcessChannelMode(QProcess::MergedChannels);
    m_bridge.setStandardOutputFile(m_directory + QStringLiteral("/bridge.log"), QIODevice::Append);
    m_bridge.start(QStringLiteral(QUILLMARK_CARD_BRIDGE), arguments);
    if (!m_bridge.waitForStarted(toolTimeout))
        fail(QStringLiteral("quillmark-card-bridge does not start"));
}

void CardStack::sendToBridge(const QByteArray &command)
{
    m_bridge.write(command + '\n');
    m_bridge.waitForBytesWritten(toolTimeout);
}

void CardStack::waitForCard(bool present)
{
    QDeadlineTimer deadline(readerTimeout);
    while (readerHoldsCard() != present) {
        if (deadline.hasExpired())
            fail(present ? QStringLiteral("the card does not come into the reader")
                         : QStringLiteral("the card does not leave the reader"));
        QThread::msleep(pollMilliseconds);
    }
}
