#pragma once

#include <QtGlobal>

// Entry trace used by most operations; the short name keeps lines readable
// while the full signature is already part of every log line.
#define LOG_FUNCTION_START() qDebug("Starting function %s", __func__)
