#include "storedefinition.h"

#include "appexception.h"
#include "moduletrust.h"

#include <QObject>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// What the page's word for a kind of store stands for. A named store
// (Kind::Module) has no word: its name and module are the page's.
struct KindRow
{
    StoreDefinition::Kind kind;
    QLatin1String word;
    const char *friendlyName;
    bool usableHere;
};
const KindRow kindRows[] = {
    {StoreDefinition::Kind::Pkcs11, QLatin1String("PKCS11"),
     QT_TRANSLATE_NOOP("QObject", "CertStoreFriendlyNamePkcs11"), true},
    {StoreDefinition::Kind::Csp, QLatin1String("CSP"),
     QT_TRANSLATE_NOOP("QObject", "CertStoreFriendlyNameCsp"), false},
};

// A display name and a module path per store, for the few tokens a user
// has: at most this many stores, and this many characters of text.
constexpr int maxTextLength = 16 * 1024;
constexpr int maxStores = 32;

AppException refusal()
{
    return AppException(QObject::tr("UnableToParseSigningCertificateStoresDefinition"),
                        APP_LOCATION, true);
}

// The row of the page's word; throws for a word that is no kind.
const KindRow &rowOfWord(const QString &word)
{
    const auto found = std::find_if(std::begin(kindRows), std::end(kindRows),
                                    [&word](const KindRow &row) { return word == row.word; });
    if (found == std::end(kindRows))
        throw refusal();
    return *found;
}

const KindRow &rowOfKind(StoreDefinition::Kind kind)
{
    return *std::find_if(std::begin(kindRows), std::end(kindRows),
                         [kind](const KindRow &row) { return row.kind == kind; });
}

} // namespace

StoreDefinition::StoreDefinition(Kind kind, const QString &name, const QString &value,
                                 std::shared_ptr<const ModuleTrust> trust)
    : m_kind(kind), m_name(name), m_value(value), m_trust(std::move(trust))
{
}

QList<StoreDefinition> StoreDefinition::parseList(const QString &text)
{
    if (text.isEmpty() || text.size() > maxTextLength)
        throw refusal();
    const QStringList parts = text.split(QLatin1Char('|'));
    if (parts.size() % 2 != 0 || parts.size() / 2 > maxStores)
        throw refusal();

    const auto trust = std::make_shared<const ModuleTrust>(ModuleTrust::system());
    QList<StoreDefinition> definitions;
    for (int i = 0; i < parts.size(); i += 2) {
        const QString &name = parts.at(i);
        const QString &value = parts.at(i + 1);
        if (!name.isEmpty() && value.isEmpty())
            throw refusal();
        const Kind kind = name.isEmpty() ? rowOfWord(value).kind : Kind::Module;
        definitions.append(StoreDefinition(kind, name, value, trust));
    }
    return definitions;
}

StoreDefinition::Kind StoreDefinition::kind() const
{
    return m_kind;
}

QString StoreDefinition::name() const
{
    return m_name;
}

QString StoreDefinition::value() const
{
    return m_value;
}

QString StoreDefinition::displayName() const
{
    return m_kind == Kind::Module ? m_name : QObject::tr(rowOfKind(m_kind).friendlyName);
}

bool StoreDefinition::isUsableHere() const
{
    return m_kind == Kind::Module || rowOfKind(m_kind).usableHere;
}

const std::shared_ptr<const ModuleTrust> &StoreDefinition::moduleTrust() const
{
    return m_trust;
}

bool StoreDefinition::operator==(const StoreDefinition &other) const
{
    return m_kind == other.m_kind && m_name == other.m_name && m_value == other.m_value;
}

bool StoreDefinition::operator!=(const StoreDefinition &other) const
{
    return !(*this == other);
}
