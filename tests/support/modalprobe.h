#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Modal dialogs block the test in their own event loop. A probe waits from
// inside that loop until a visible top-level widget of type T appears and
// then hands it to the action; the action must close it. If none appears
// within the time limit the probe gives up, so a test that expects no dialog
// is not left hanging when one wrongly opens later.
template<typename T>
class ModalProbe
{
public:
    explicit ModalProbe(std::function<void(T *)> action, int limitMs = 5000)
        : m_action(std::move(action)), m_limitMs(limitMs)
    {
        m_clock.start();
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    bool seen() const { return m_seen; }

    static T *visibleWidget()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *match = qobject_cast<T *>(widget); match && match->isVisible())
                return match;
        }
        return nullptr;
    }

private:
    void poll()
    {
        if (T *widget = visibleWidget()) {
            m_timer.stop();
            m_seen = true;
            m_action(widget);
        } else if (m_clock.elapsed() > m_limitMs) {
            m_timer.stop();
        }
    }

    std::function<void(T *)> m_action;
    int m_limitMs;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_seen = false;
};
