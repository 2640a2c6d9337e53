#pragma once

#include <QString>
#include <QtGlobal>

// A transfer's progress in the largest unit that keeps the total readable:
// both counts are divided by 1024 while the total is at least 1024, so
// 5 000 000 of 10 000 000 bytes reads 4 of 9 MB. An unknown total (-1) stays
// in bytes.
struct TransferSize
{
    qint64 received;
    qint64 total;
    QString unit;

    static TransferSize scaled(qint64 bytesReceived, qint64 bytesTotal);
};
