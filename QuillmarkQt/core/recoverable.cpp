#include "recoverable.h"

#include "appexception.h"

#include <QDebug>

bool Recoverable::attempt(const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const AppException &exception) {
        log(exception);
    } catch (...) {
        qDebug("Unidentified recoverable exception");
    }
    return false;
}

void Recoverable::log(const AppException &exception)
{
    qDebug().noquote() << QStringLiteral("Recoverable exception: ") + exception.toString(true);
}
