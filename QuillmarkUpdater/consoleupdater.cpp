#include "consoleupdater.h"

#include "transfersize.h"

#include <QAuthenticator>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QtDebug>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// Switches terminal echo off on standard input for its lifetime; does
// nothing when standard input is not a terminal.
class EchoOff
{
public:
    EchoOff()
        : m_isTerminal(::tcgetattr(STDIN_FILENO, &m_saved) == 0)
    {
        if (!m_isTerminal)
            return;
        termios silent = m_saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    ~EchoOff()
    {
        if (m_isTerminal)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;

private:
    termios m_saved{};
    bool m_isTerminal;
};

} // namespace

ConsoleUpdater::ConsoleUpdater(QObject *parent)
    : Updater(parent)
    , m_input(stdin, QIODevice::ReadOnly)
{
    connect(&downloadManager, &DownloadManager::downloadDataFinished, this, &ConsoleUpdater::println);
    connect(&downloadManager, &DownloadManager::dataVerified, this, &ConsoleUpdater::println);
    connect(&downloadManager, &DownloadManager::verificationFailure, this, &ConsoleUpdater::println);
}

ConsoleUpdater::~ConsoleUpdater() = default;

void ConsoleUpdater::setSilent(bool on)
{
    qDebug().noquote() << QStringLiteral("ConsoleUpdater is set to ")
                              + (on ? QStringLiteral("silent") : QStringLiteral("console"))
                              + QStringLiteral(" mode");
    m_silent = on;
}

QString ConsoleUpdater::shellQuoted(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+,:=@%-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString ConsoleUpdater::installCommand(const QString &path)
{
    return QStringLiteral("sudo gdebi --n ") + shellQuoted(path);
}

QString ConsoleUpdater::progressLine(const QString &fileName, qint64 bytesReceived,
                                     qint64 bytesTotal)
{
    // The server chooses the name: no control or format character of it
    // reaches the terminal, where it could move the cursor or rewrite the
    // screen.
    QString shownName = fileName;
    for (QChar &character : shownName) {
        if (character.category() == QChar::Other_Control || character.category() == QChar::Other_Format)
            character = QLatin1Char('?');
    }
    const TransferSize size = TransferSize::scaled(bytesReceived, bytesTotal);
    return QStringLiteral("\r%1... [%2/%3] %4")
        .arg(shownName)
        .arg(size.received)
        .arg(size.total)
        .arg(size.unit);
}

void ConsoleUpdater::write(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void ConsoleUpdater::println()
{
    write(QStringLiteral("\n"));
}

void ConsoleUpdater::errorOccured(const QString &message)
{
    qDebug().noquote() << "ConsoleUpdater error occured: " + message;
    if (!m_silent)
        write(QLatin1Char('\n') + message + QLatin1Char('\n'));
    finish(1);
}

void ConsoleUpdater::actualVersion()
{
    qDebug() << "ConsoleUpdater did not find new version";
    write(QObject::tr("LatestVersion").arg(QObject::tr("AppToUpdate")) + QLatin1Char('\n'));
    finish(3);
}

void ConsoleUpdater::newerVesion(const QString &version, const QString &url)
{
    qDebug() << "ConsoleUpdater found new version";
    write(QObject::tr("NewVersion.").arg(Version(version).toString(6)) + QLatin1Char('\n'));
    write(QObject::tr("Note") + QStringLiteral(": ") + QObject::tr("NoteInfo") + QLatin1Char(' ')
          + url + QLatin1Char('\n'));
    if (m_silent) {
        finish(2);
        return;
    }
    downloadNow();
}

void ConsoleUpdater::downloadNow()
{
    const QString yes = QObject::tr("ShortYes");
    const QString no = QObject::tr("ShortNo");
    write(QObject::tr("InstallNow?") + QStringLiteral("[%1/%2] ").arg(yes, no));
    for (;;) {
        const QString answer = m_input.read(yes.size());
        if (answer.isEmpty()) {
            // End of input: nothing to decide on, so wait for more instead
            // of spinning.
            m_input.resetStatus();
            QThread::msleep(100);
            continue;
        }
        if (answer.compare(no, Qt::CaseInsensitive) == 0) {
            finish(2);
            return;
        }
        if (answer.compare(yes, Qt::CaseInsensitive) == 0) {
            requestPackage();
            return;
        }
        qDebug().noquote() << "Unknown answer to download installer: " + answer;
    }
}

void ConsoleUpdater::downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (downloadKind != InstallerPackage)
        return;
    write(progressLine(downloadManager.fileName(), bytesReceived, bytesTotal));
}

QString ConsoleUpdater::readLine()
{
    return m_input.readLine();
}

QString ConsoleUpdater::readPassword(const QString &prompt)
{
    // Echo goes off before the prompt appears, so that nothing typed at the
    // prompt can show on the screen.
    const EchoOff echoOff;
    write(prompt);
    return m_input.readLine();
}

void ConsoleUpdater::authentication(const QNetworkProxy &, QAuthenticator *auth)
{
    if (m_silent) {
        finish(1);
        return;
    }
    qDebug() << "Proxy authentication requested";
    write(QObject::tr("ProxyAuth") + QLatin1Char('\n'));
    write(QObject::tr("username:"));
    const QString user = readLine();
    QString password = readPassword(QObject::tr("password:"));
    write(QStringLiteral("\n"));
    auth->setUser(user);
    auth->setPassword(password);
    password.fill(QChar(0));
}

void ConsoleUpdater::install()
{
    const QString path = QDir::toNativeSeparators(downloadManager.dataLocation());
    qDebug().noquote() << "Console installation of " + path;
    m_installer = std::make_unique<QProcess>();
    m_installer->setProcessChannelMode(QProcess::ForwardedChannels);
    m_installer->setInputChannelMode(QProcess::ForwardedInputChannel);
    connect(m_installer.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus status) {
                processFinished(status == QProcess::NormalExit ? exitCode : -1);
            });
    connect(m_installer.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            errorOccured(QObject::tr("InstallerNotStarted"));
    });
    m_installer->start(QStringLiteral("sh"), {QStringLiteral("-c"), installCommand(path)});
}

void ConsoleUpdater::processFinished(int exitCode)
{
    m_installer.release()->deleteLater();
    // The installer has read the package whatever its outcome; a later run
    // downloads afresh, so nothing is left behind in the user's temporary
    // directory.
    if (!QFile::remove(downloadManager.dataLocation()))
        qWarning().noquote() << "Could not remove the downloaded package " + downloadManager.dataLocation();
    if (exitCode == 0) {
        qDebug() << "ConsoleUpdater: Installation ended correctly";
        finish(0);
        return;
    }
    qDebug().noquote() << "ConsoleUpdater: Installation ended with exit code = "
                              + QString::number(exitCode);
    finish(1);
}
