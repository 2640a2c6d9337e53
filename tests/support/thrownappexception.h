#pragma once

#include "appexception.h"

// The AppException that call throws; a marker exception when it throws none.
template <typename Call>
AppException thrownAppException(Call call)
{
    try {
        call();
    } catch (const AppException &e) {
        return e;
    }
    return AppException(QStringLiteral("<nothing thrown>"), APP_LOCATION, false);
}
