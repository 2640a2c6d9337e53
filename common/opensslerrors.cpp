#include "opensslerrors.h"

#include "opensslpointers.h"

#include <openssl/err.h>

QString openSslErrors()
{
    const BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) {
        ERR_clear_error();
        return QString();
    }
    ERR_print_errors(bio.get());
    char *text = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &text);
    return QString::fromUtf8(text, int(length));
}
