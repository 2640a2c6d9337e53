#include "tokentestbed.h"

#include "fixturepaths.h"
#include "scriptedpinprompt.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTranslator>

namespace {

bool isRootOnly(const QString &folder)
{
    for (QFileInfo info(folder);; info = QFileInfo(info.absolutePath())) {
        const bool othersMayWrite =
            info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther);
        if (!info.isDir() || info.ownerId() != 0 || othersMayWrite)
            return false;
        if (info.isRoot())
            return true;
    }
}

} // namespace

TokenTestBed::TokenTestBed(const QString &name)
    : m_directory(QStringLiteral(QUILLMARK_BINARY_DIR "/test-tokens/") + name),
      m_faultLog(m_directory + QStringLiteral("/fault.log")),
      m_authority(FixtureCredential::createAuthority(QStringLiteral("Quillmark Test CA")))
{
    QDir(m_directory).removeRecursively();
    m_fixture = std::make_unique<SoftHsmFixture>(m_directory);
    qputenv("QUILLMARK_FAULT_LOG", QFile::encodeName(m_faultLog));
    qunsetenv("QUILLMARK_FAULTS");

    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/Quillmark_en.qm")))
        qFatal("the English catalogue is not built");
    QCoreApplication::installTranslator(translator);
}

SoftHsmFixture &TokenTestBed::fixture()
{
    return *m_fixture;
}

const FixtureCredential &TokenTestBed::authority() const
{
    return m_authority;
}

QString TokenTestBed::softHsmModule()
{
    return SoftHsmFixture::modulePath();
}

// Installed once per run, on first use from whichever thread.
QString TokenTestBed::faultModule()
{
    static const QString module = installAsRoot(QStringLiteral(QUILLMARK_FAULT_MODULE));
    return module;
}

QString TokenTestBed::noFunctionListModule()
{
    static const QString module = installAsRoot(QStringLiteral(QUILLMARK_NO_FUNCTION_LIST_MODULE));
    return module;
}

QString TokenTestBed::installAsRoot(const QString &file)
{
    static const QTemporaryDir folder(rootOnlyFolder()
                                      + QStringLiteral("/quillmark-test-modules-XXXXXX"));
    const QString copy = folder.filePath(QFileInfo(file).fileName());
    QFile::remove(copy);
    const bool installed =
        folder.isValid() && QFile::copy(file, copy)
        && QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                           | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                           | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                           | QFileDevice::ExeOther);
    if (!installed || QFileInfo(copy).ownerId() != 0)
        qFatal("%s could not be installed as root's (the tests run as root)", qPrintable(file));
    return copy;
}

QString TokenTestBed::rootOnlyFolder()
{
    // /run is cleared at boot, should a crashed run leave a folder behind.
    for (const QString &folder : {QStringLiteral("/run"), QStringLiteral("/")}) {
        if (isRootOnly(folder))
            return folder;
    }
    qFatal("no folder is root's alone");
}

QString TokenTestBed::markerModule()
{
    return QStringLiteral(QUILLMARK_MARKER_MODULE);
}

QString TokenTestBed::plantModule(const QString &module, const QString &name) const
{
    const QString folder = m_directory + QStringLiteral("/Downloads");
    QDir().mkpath(folder);
    QFile::setPermissions(
        folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                    | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                    | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString planted = folder + QLatin1Char('/') + name;
    QFile::remove(planted);
    QFile::remove(planted + QStringLiteral(".loaded"));
    if (!QFile::copy(module, planted))
        qFatal("the module could not be planted");
    return planted;
}

void TokenTestBed::setFaults(const QString &faults)
{
    qputenv("QUILLMARK_FAULTS", faults.toUtf8());
}

QStringList TokenTestBed::faultLog() const
{
    QFile file(m_faultLog);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList TokenTestBed::faultLogLines(const QString &call) const
{
    return faultLog().filter(QRegularExpression(QStringLiteral("^") + call + QStringLiteral(" ")));
}

void TokenTestBed::clearFaultLog()
{
    QFile::remove(m_faultLog);
}

FixtureCredential TokenTestBed::createSigningToken(const QString &label, const QString &pin,
                                                   bool alwaysAuthenticate)
{
    m_fixture->createToken(label, pin);
    const FixtureCredential credential = m_authority.issue(label + QStringLiteral(" Signer"), true);
    SoftHsmFixture::ObjectOptions options;
    options.id = QByteArray::fromHex("01");
    options.label = label + QStringLiteral(" Signer");
    options.alwaysAuthenticate = alwaysAuthenticate;
    m_fixture->importCredential(label, pin, credential, options);
    return credential;
}

PinPrompt &TokenTestBed::pinPrompt()
{
    return ScriptedPinPrompt::current();
}
