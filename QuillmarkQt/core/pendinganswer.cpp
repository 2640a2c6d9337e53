#include "pendinganswer.h"

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
