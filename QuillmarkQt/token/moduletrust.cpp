#include "moduletrust.h"

#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t writableByOthers = S_IWGRP | S_IWOTH;
const QString userChoicesKey = QStringLiteral("ModuleTrust/chosenModules");
// The user's own choices, kept apart from anything a page stores.
const QString userSettingsFile = QStringLiteral("/varnek/quillmark.conf");
// A person chooses a handful of modules over the years; older choices
// beyond this many are forgotten.
constexpr int mostUserChoices = 32;

// Reads errno before anything else can change it.
QString failure(const QByteArray &name, const char *what)
{
    const int error = errno;
    return QFile::decodeName(name) + QLatin1String(what)
           + QString::fromLocal8Bit(std::strerror(error));
}

// The path with every link and "." or ".." resolved; empty when it leads
// nowhere, and then why in whyNot.
QByteArray resolved(const QString &path, QString *whyNot = nullptr)
{
    const QByteArray name = QFile::encodeName(path);
    const std::unique_ptr<char, decltype(&std::free)> real(
        name.isEmpty() ? nullptr : ::realpath(name.constData(), nullptr), &std::free);
    if (real)
        return QByteArray(real.get());
    if (whyNot)
        *whyNot = name.isEmpty() ? QStringLiteral("no module is named")
                                 : failure(name, " cannot be resolved: ");
    return QByteArray();
}

QString ownershipRefusal(const QByteArray &name, const struct stat &status, bool userMayOwn)
{
    const bool ownerTrusted = status.st_uid == 0 || (userMayOwn && status.st_uid == ::geteuid());
    if (!ownerTrusted)
        return QStringLiteral("%1 is owned by uid %2")
            .arg(QFile::decodeName(name))
            .arg(status.st_uid);
    if ((status.st_mode & writableByOthers) != 0)
        return QStringLiteral("%1 is writable by group or others").arg(QFile::decodeName(name));
    return QString();
}

// What a package installs: the file and every folder above it root's alone.
// Each component is looked at through the descriptor of the folder checked
// before it and never followed as a link, so no component can be swapped
// between its check and the next one.
QString rootOnlyRefusal(const QByteArray &file)
{
    int folder = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const auto closeFolder = qScopeGuard([&folder] {
        if (folder >= 0)
            ::close(folder);
    });
    struct stat status;
    if (folder < 0 || ::fstat(folder, &status) != 0)
        return failure("/", " cannot be inspected: ");
    QString refusal = ownershipRefusal("/", status, false);
    const QList<QByteArray> names = file.split('/');
    QByteArray walked;
    for (int i = 1; i < names.size() && refusal.isEmpty(); ++i) {
        const QByteArray &name = names.at(i);
        walked += '/' + name;
        if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return failure(walked, " cannot be inspected: ");
        const bool last = i == names.size() - 1;
        if (last && !S_ISREG(status.st_mode))
            return QFile::decodeName(walked) + QStringLiteral(" is not a regular file");
        // A link here was put in after the path had been resolved.
        if (!last && !S_ISDIR(status.st_mode))
            return QFile::decodeName(walked) + QStringLiteral(" is not a folder");
        refusal = ownershipRefusal(walked, status, false);
        if (last)
            break;
        const int next =
            ::openat(folder, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            return failure(walked, " cannot be opened: ");
        ::close(folder);
        folder = next;
    }
    return refusal;
}

// A file the user chose: the user's or root's, and theirs alone to change.
QString chosenFileRefusal(const QByteArray &file)
{
    struct stat status;
    if (::lstat(file.constData(), &status) != 0)
        return failure(file, " cannot be inspected: ");
    if (!S_ISREG(status.st_mode))
        return QFile::decodeName(file) + QStringLiteral(" is not a regular file");
    return ownershipRefusal(file, status, true);
}

} // namespace

bool ModuleTrust::Verdict::isTrusted() const
{
    return refusal.isEmpty();
}

ModuleTrust::ModuleTrust(const Pkcs11ModuleRegistry &registry, const QString &userChoices)
    : m_registry(registry), m_userChoices(userChoices)
{
}

ModuleTrust ModuleTrust::system()
{
    return ModuleTrust(Pkcs11ModuleRegistry::system(),
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                           + userSettingsFile);
}

ModuleTrust::Verdict ModuleTrust::check(const QString &path) const
{
    Verdict verdict;
    const QByteArray file = resolved(path, &verdict.refusal);
    if (file.isEmpty())
        return verdict;
    verdict.file = QFile::decodeName(file);
    const QString rootOnly = rootOnlyRefusal(file);
    if (rootOnly.isEmpty() || isRegistered(verdict.file))
        return verdict;
    const QString notTrusted = path + QStringLiteral(" is not trusted: ") + rootOnly;
    if (!isChosenByUser(verdict.file)) {
        verdict.refusal =
            notTrusted
            + QStringLiteral(", and it is neither registered with p11-kit nor chosen by the user");
        return verdict;
    }
    const QString chosen = chosenFileRefusal(file);
    if (!chosen.isEmpty())
        verdict.refusal = notTrusted + QStringLiteral(", and the user chose it, but ") + chosen;
    return verdict;
}

bool ModuleTrust::isTrusted(const QString &path) const
{
    return check(path).isTrusted();
}

void ModuleTrust::rememberUserChoice(const QString &path) const
{
    const QString file = QFile::decodeName(resolved(path));
    if (file.isEmpty())
        return;
    QSettings settings(m_userChoices, QSettings::IniFormat);
    QStringList choices = settings.value(userChoicesKey).toStringList();
    choices.removeAll(file);
    choices.append(file);
    while (choices.size() > mostUserChoices)
        choices.removeFirst();
    settings.setValue(userChoicesKey, choices);
}

bool ModuleTrust::isRegistered(const QString &file) const
{
    const QList<Pkcs11ModuleRegistry::Module> modules = m_registry.modules();
    return std::any_of(modules.cbegin(), modules.cend(),
                       [&file](const Pkcs11ModuleRegistry::Module &module) {
                           return QFile::decodeName(resolved(module.path)) == file;
                       });
}

bool ModuleTrust::isChosenByUser(const QString &file) const
{
    const QSettings settings(m_userChoices, QSettings::IniFormat);
    return settings.value(userChoicesKey).toStringList().contains(file);
}
