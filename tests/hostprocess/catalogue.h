#pragma once

#include "fixturepaths.h"

#include <QString>
#include <QTranslator>

// The texts of one staged quillmark catalogue, looked up the way the program
// looks up its error keys.
class Catalogue
{
public:
    explicit Catalogue(const QString &language)
    {
        m_loaded = m_translator.load(QStringLiteral(QUILLMARK_STAGE_BIN
                                                    "/../share/translations/Quillmark_")
                                     + language);
    }

    bool isLoaded() const { return m_loaded; }

    QString text(const char *key) const
    {
        return m_translator.translate("QObject", key);
    }

    // The answer to a call that reaches no component.
    QString notImplemented(const QString &kind, const QString &name) const
    {
        return text("MessageNotImplemented").arg(kind, name)
               + text("QuillmarkInstanceDoesNotExist");
    }

private:
    QTranslator m_translator;
    bool m_loaded = false;
};
