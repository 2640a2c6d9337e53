#pragma once

#include "appexception.h"

#include <QSharedPointer>

#include <exception>

// A pool task's failure travels to the GUI thread as a value: runs `work` and
// hands back what it threw as an AppException, none when it returned.
template<typename Work>
QSharedPointer<const AppException> capturedFailure(Work &&work)
{
    try {
        work();
    } catch (const AppException &e) {
        return QSharedPointer<const AppException>(e.clone());
    } catch (const std::exception &e) {
        // Anything else from a module or the libraries ends this run only.
        return QSharedPointer<const AppException>(
            new AppException(QString::fromLocal8Bit(e.what()), APP_LOCATION, false));
    }
    return {};
}
