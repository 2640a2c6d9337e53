#pragma once

#include "opensslpointers.h"

#include <QByteArray>

// One signature check fed piece by piece: the SHA-256 digest grows with
// every update, so that a package can be checked while it streams to disk
// and never has to lie whole in memory.
class DigestVerifier
{
public:
    // Sets up the check with key; isValid() tells whether that worked (the
    // reason is logged).
    explicit DigestVerifier(EvpPkeyPtr key);

    bool isValid() const;
    bool update(const char *data, qint64 size);
    // True only when signature is valid for everything fed so far.
    bool finish(const QByteArray &signature);

private:
    EvpPkeyPtr m_key;
    EvpMdCtxPtr m_context;
    bool m_valid = false;
};
