#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// Where a PIN shows up in captured output, in any of the ways code could
// write it out: as typed, hex, Base64 or UTF-16. PINs used with this must be
// distinctive enough that no time stamp, thread number or handle in a log
// line contains them by chance.
inline QStringList pinsFoundIn(const QStringList &pins, const QMap<QString, QByteArray> &outputs)
{
    QStringList hits;
    for (const QString &pin : pins) {
        const QByteArray utf8 = pin.toUtf8();
        const QList<QByteArray> forms{
            utf8, utf8.toHex(), utf8.toBase64(),
            QByteArray(reinterpret_cast<const char *>(pin.utf16()), pin.size() * 2)};
        for (auto output = outputs.cbegin(); output != outputs.cend(); ++output) {
            for (const QByteArray &form : forms) {
                if (output.value().contains(form))
                    hits << output.key() + QStringLiteral(": ") + QString::fromLatin1(form.toHex());
            }
        }
    }
    return hits;
}
