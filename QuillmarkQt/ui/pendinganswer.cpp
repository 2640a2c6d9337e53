#include "pendinganswer.h"

#include <QScopeGuard>

#include <utility>

std::weak_ptr<std::function<void()>> PendingAnswer::s_current;

PendingAnswer::Scope::Scope(std::function<void()> send)
    : m_send(new std::function<void()>(std::move(send)), [](std::function<void()> *sender) {
          if (*sender)
              (*sender)();
          delete sender;
      })
{
    s_current = m_send;
}

PendingAnswer::Scope::~Scope()
{
    s_current.reset();
}

void PendingAnswer::Scope::cancel()
{
    *m_send = nullptr;
}

PendingAnswer::Hold PendingAnswer::hold()
{
    return s_current.lock();
}

void PendingAnswer::resume(const Hold &held, const std::function<void()> &work)
{
    if (!held) {
        work();
        return;
    }
    const auto restore = qScopeGuard([served = s_current] { s_current = served; });
    s_current = std::static_pointer_cast<std::function<void()>>(held);
    work();
}
