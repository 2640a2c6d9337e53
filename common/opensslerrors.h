#pragma once

#include <QString>

// Empties the calling thread's OpenSSL error queue into text, one line per
// error; empty when the queue was. The queue is emptied also when no text can
// be made, so that an old error never shows under a later failure.
QString openSslErrors();
