#include "swaysession.h"

#include "desktopdriver.h"
#include "throwawayuser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRect>
#include <QRegularExpression>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

// No X server behind the compositor: a program that cannot speak Wayland
// shows nothing instead of falling back to X unseen.
const QByteArray configuration = "xwayland disable\n"
                                 "output HEADLESS-1 resolution 1280x1024\n";

bool handOver(const QString &path, const ThrowAwayUser &user)
{
    const passwd *account = getpwnam(user.name().toLocal8Bit().constData());
    return account
           && chown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) == 0;
}

// Views are the leaves that belong to a program; workspaces and outputs
// hold them, tiled or floating.
void collectViews(const QJsonObject &node, QList<QJsonObject> &views)
{
    if (node.contains(QLatin1String("pid")))
        views.append(node);
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue &child : node.value(QLatin1String(children)).toArray())
            collectViews(child.toObject(), views);
    }
}

QRect rectOf(const QJsonObject &rect)
{
    return QRect(rect.value(QLatin1String("x")).toInt(), rect.value(QLatin1String("y")).toInt(),
                 rect.value(QLatin1String("width")).toInt(),
                 rect.value(QLatin1String("height")).toInt());
}

// "ctrl+Next" and the like, as wtype arguments: modifiers pressed around the key.
QStringList wtypeArguments(const QString &keys)
{
    static const QHash<QString, QString> modifiers{
        {QStringLiteral("ctrl"), QStringLiteral("ctrl")},
        {QStringLiteral("alt"), QStringLiteral("alt")},
        {QStringLiteral("shift"), QStringLiteral("shift")},
        {QStringLiteral("super"), QStringLiteral("logo")}};
    QStringList arguments;
    for (const QString &combination : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QStringList parts = combination.split(QLatin1Char('+'));
        const QString key = parts.takeLast();
        QStringList pressed;
        for (const QString &part : parts)
            pressed.append(modifiers.value(part.toLower(), part));
        for (const QString &modifier : pressed)
            arguments << QStringLiteral("-M") << modifier;
        arguments << QStringLiteral("-k") << key;
        for (auto it = pressed.crbegin(); it != pressed.crend(); ++it)
            arguments << QStringLiteral("-m") << *it;
    }
    return arguments;
}

} // namespace

SwaySession::SwaySession()
{
    if (start())
        DesktopDriver::setBackend(this);
}

SwaySession::~SwaySession()
{
    DesktopDriver::setBackend(nullptr);
    for (QProcess *process : {&m_keyboard, &m_compositor}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(DesktopDriver::defaultTimeout))
            process->kill();
        process->waitForFinished(DesktopDriver::defaultTimeout);
    }
}

bool SwaySession::start()
{
    if (!m_compositorRuntime.isValid() || !m_clientRuntime.isValid())
        return false;
    QStringList command{QStringLiteral("sway"), QStringLiteral("--config"),
                        m_compositorRuntime.filePath(QStringLiteral("config"))};
    QFile config(command.last());
    if (!config.open(QIODevice::WriteOnly) || config.write(configuration) != configuration.size())
        return false;
    config.close();
    // A compositor is an ordinary user's program, and its runtime folder
    // that user's alone.
    if (geteuid() == 0) {
        m_user = std::make_unique<ThrowAwayUser>();
        if (!m_user->isValid() || !handOver(m_compositorRuntime.path(), *m_user)
            || !handOver(config.fileName(), *m_user))
            return false;
        command = m_user->commandAs(command);
    }
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_compositorRuntime.path());
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    m_compositor.setProcessEnvironment(environment);
    m_compositor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_compositor.setStandardOutputFile(QProcess::nullDevice());
    m_compositor.start(command.first(), command.mid(1));
    if (!m_compositor.waitForStarted(DesktopDriver::defaultTimeout))
        return false;

    const QDir runtime(m_compositorRuntime.path());
    const bool listening = QTest::qWaitFor(
        [&]() {
            if (m_compositor.state() == QProcess::NotRunning)
                return true;
            m_waylandSocket =
                runtime.entryList({QStringLiteral("wayland-?")}, QDir::System).value(0);
            m_ipcSocket =
                runtime.entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System).value(0);
            return !m_waylandSocket.isEmpty() && !m_ipcSocket.isEmpty();
        },
        DesktopDriver::defaultTimeout);
    if (!listening || m_compositor.state() == QProcess::NotRunning)
        return false;
    m_waylandSocket = runtime.filePath(m_waylandSocket);
    m_ipcSocket = runtime.filePath(m_ipcSocket);
    return QTest::qWaitFor([&]() { return swaymsg(QStringLiteral("nop")); },
                           DesktopDriver::defaultTimeout)
           && plugInKeyboard();
}

bool SwaySession::plugInKeyboard()
{
    // A seat without a keyboard gives programs none: each wtype would plug
    // one in, and the keys it sends before a program has bound the new
    // keyboard are lost. This one stays plugged in, sleeping for longer
    // than any test runs, and never presses its key.
    m_keyboard.setProcessEnvironment(clientEnvironment(QProcessEnvironment::systemEnvironment()));
    m_keyboard.start(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("86400000"),
                                               QStringLiteral("-k"), QStringLiteral("Shift_L")});
    return m_keyboard.waitForStarted(DesktopDriver::defaultTimeout)
           && QTest::qWaitFor(
               [&]() {
                   const auto inputs = run(QStringLiteral("swaymsg"),
                                           {QStringLiteral("--raw"), QStringLiteral("--type"),
                                            QStringLiteral("get_inputs")});
                   return inputs && inputs->contains("\"keyboard\"");
               },
               DesktopDriver::defaultTimeout);
}

bool SwaySession::isValid() const
{
    return m_compositor.state() == QProcess::Running && !m_ipcSocket.isEmpty();
}

QProcessEnvironment SwaySession::clientEnvironment(QProcessEnvironment environment) const
{
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    // A path, not a name: the socket lies in the compositor user's runtime
    // folder, the client keeps a runtime folder of its own.
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), m_waylandSocket);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_clientRuntime.path());
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("sway"));
    return environment;
}

std::optional<QByteArray> SwaySession::run(const QString &program,
                                           const QStringList &arguments) const
{
    QProcess process;
    QProcessEnvironment environment = clientEnvironment(QProcessEnvironment::systemEnvironment());
    environment.insert(QStringLiteral("SWAYSOCK"), m_ipcSocket);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(DesktopDriver::defaultTimeout)
        || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

bool SwaySession::swaymsg(const QString &command) const
{
    return run(QStringLiteral("swaymsg"), {command}).has_value();
}

QList<QJsonObject> SwaySession::windows() const
{
    QList<QJsonObject> views;
    const auto tree =
        run(QStringLiteral("swaymsg"),
            {QStringLiteral("--raw"), QStringLiteral("--type"), QStringLiteral("get_tree")});
    collectViews(QJsonDocument::fromJson(tree.value_or(QByteArray())).object(), views);
    return views;
}

QJsonObject SwaySession::windowNode(const QString &window) const
{
    for (const QJsonObject &view : windows()) {
        if (QString::number(view.value(QLatin1String("id")).toInt()) == window)
            return view;
    }
    return {};
}

bool SwaySession::switchToWorkspace(const QString &name)
{
    return swaymsg(QStringLiteral("workspace ") + name);
}

QRect SwaySession::windowArea(const QString &window) const
{
    const QJsonObject node = windowNode(window);
    const QRect frame = rectOf(node.value(QLatin1String("rect")).toObject());
    return rectOf(node.value(QLatin1String("window_rect")).toObject()).translated(frame.topLeft());
}

QStringList SwaySession::visibleWindows(const QString &namePattern) const
{
    const QRegularExpression title(namePattern);
    QStringList found;
    for (const QJsonObject &view : windows()) {
        if (view.value(QLatin1String("visible")).toBool()
            && title.match(view.value(QLatin1String("name")).toString()).hasMatch())
            found.append(QString::number(view.value(QLatin1String("id")).toInt()));
    }
    return found;
}

QSize SwaySession::windowSize(const QString &window) const
{
    return windowArea(window).size();
}

bool SwaySession::focus(const QString &window) const
{
    return swaymsg(QStringLiteral("[con_id=%1] focus").arg(window));
}

void SwaySession::click(const QString &window, const QPoint &, int)
{
    qWarning() << "No pointer in this session: window" << window << "is worked by keys alone";
}

void SwaySession::type(const QString &window, const QString &text)
{
    focus(window);
    run(QStringLiteral("wtype"),
        {QStringLiteral("-d"), QStringLiteral("30"), QStringLiteral("--"), text});
}

void SwaySession::key(const QString &window, const QString &keys)
{
    focus(window);
    run(QStringLiteral("wtype"), wtypeArguments(keys));
}

bool SwaySession::windowManagerRunning() const
{
    return true;
}

void SwaySession::minimise(const QString &window)
{
    swaymsg(QStringLiteral("[con_id=%1] move scratchpad").arg(window));
}

void SwaySession::activate(const QString &window)
{
    focus(window);
}

QString SwaySession::activeWindow() const
{
    for (const QJsonObject &view : windows()) {
        if (view.value(QLatin1String("focused")).toBool())
            return QString::number(view.value(QLatin1String("id")).toInt());
    }
    return {};
}

bool SwaySession::screenshot(const QString &window, const QString &path) const
{
    const QRect area = windowArea(window);
    if (area.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString geometry = QStringLiteral("%1,%2 %3x%4")
                                 .arg(area.x())
                                 .arg(area.y())
                                 .arg(area.width())
                                 .arg(area.height());
    return run(QStringLiteral("grim"), {QStringLiteral("-g"), geometry, path}).has_value();
}
