#include "virtualcard.h"

#include <libcacard.h>

#include <stdexcept>

namespace {

const char readerName[] = "Quillmark Virtual Reader";
// Longest answer of an extended-length APDU: 65536 data bytes and the status.
constexpr int largestResponse = 65538;

QByteArray emulatorOptions(const QString &database, const QStringList &nicknames)
{
    // soft=(NSS slot, reader, card type, type parameters, certificates...)
    return QStringLiteral("use_hw=no soft=(,%1,CAC,,%2) db=\"%3\"")
        .arg(QLatin1String(readerName), nicknames.join(QLatin1Char(',')), database)
        .toUtf8();
}

} // namespace

VirtualCard::VirtualCard(const QString &database, const QStringList &nicknames)
{
    VCardEmulOptions *options = vcard_emul_options(emulatorOptions(database, nicknames).constData());
    if (!options || vcard_emul_init(options) != VCARD_EMUL_OK)
        throw std::runtime_error("the card emulator does not start on " + database.toStdString());
    m_reader = vreader_get_reader_by_name(readerName);
    if (!m_reader)
        throw std::runtime_error("the card emulator has no reader");
}

VirtualCard::~VirtualCard()
{
    vreader_free(m_reader);
    vcard_emul_finalize();
}

QByteArray VirtualCard::atr()
{
    if (m_atr.isEmpty())
        powerOn();
    return m_atr;
}

void VirtualCard::powerOn()
{
    unsigned char atr[64];
    int length = sizeof atr;
    if (vreader_power_on(m_reader, atr, &length) == VREADER_OK)
        m_atr = QByteArray(reinterpret_cast<const char *>(atr), length);
}

void VirtualCard::powerOff()
{
    vreader_power_off(m_reader);
}

QByteArray VirtualCard::transmit(const QByteArray &command)
{
    QByteArray response(largestResponse, Qt::Uninitialized);
    int length = response.size();
    QByteArray input = command;
    if (vreader_xfr_bytes(m_reader, reinterpret_cast<unsigned char *>(input.data()), input.size(),
                          reinterpret_cast<unsigned char *>(response.data()), &length)
        != VREADER_OK)
        return QByteArray();
    response.truncate(length);
    return response;
}
