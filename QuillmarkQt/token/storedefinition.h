#pragma once

#include <QList>
#include <QString>

#include <memory>

class ModuleTrust;

// One certificate store the web page defines with SetSigningCertificateStores:
// a module the page names, or a kind of store whose module the user
// chooses. Every definition of one text is judged by the same ModuleTrust,
// made when the text is read, so that every module the window loads later
// passes the same rule.
class StoreDefinition
{
public:
    enum class Kind {
        // A display name and the path of a PKCS#11 module, named by the page.
        Module,
        // "PKCS11": a PKCS#11 store whose module the user chooses.
        Pkcs11,
        // "CSP": the operating system store of another platform; carried
        // through, never usable here.
        Csp,
        // A new kind: also a row of kindRows in the .cpp.
    };

    // "name|value|name|value...": a display name and a module path, or an
    // empty name and the word of a kind. Throws the user message
    // "UnableToParseSigningCertificateStoresDefinition" for anything else.
    static QList<StoreDefinition> parseList(const QString &text);

    Kind kind() const;
    // The page's display name; empty for a kind.
    QString name() const;
    // What the page wrote after the name: the module path, or the kind's word.
    QString value() const;
    // The page's name, or the kind's own in the user's language.
    QString displayName() const;
    // False for a kind this platform never offers; a named store still
    // needs its module trusted.
    bool isUsableHere() const;
    // The rule any module of this store must pass before it is loaded.
    const std::shared_ptr<const ModuleTrust> &moduleTrust() const;

    // Equal when the page wrote the same; the trust is not compared.
    bool operator==(const StoreDefinition &other) const;
    bool operator!=(const StoreDefinition &other) const;

private:
    StoreDefinition(Kind kind, const QString &name, const QString &value,
                    std::shared_ptr<const ModuleTrust> trust);

    Kind m_kind;
    QString m_name;
    QString m_value;
    std::shared_ptr<const ModuleTrust> m_trust;
};
