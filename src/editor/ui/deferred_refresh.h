#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <utility>

namespace vesk {

// Runs a view's refresh once, on the next turn of the event loop, however many announcements
// asked for it. Models announce a change before they store it, so a view reads them a moment
// later, and a burst of announcements (one keystroke may send several) costs one refresh.
class DeferredRefresh : public QObject
{
public:
    DeferredRefresh(QObject *parent, std::function<void()> refresh)
        : QObject(parent)
        , m_refresh(std::move(refresh))
    {
    }

    void request()
    {
        if (m_pending) {
            return;
        }
        m_pending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_pending = false;
                m_refresh();
            },
            Qt::QueuedConnection);
    }

    // Requests a refresh on every emission of `signal` (a payload-free willChange()).
    template <typename Sender, typename Signal>
    QMetaObject::Connection watch(Sender *sender, Signal signal)
    {
        return connect(sender, signal, this, &DeferredRefresh::request);
    }

    // Moves `connection` from whatever it watched to `sender` (nothing when null) and refreshes.
    template <typename Sender, typename Signal>
    void rewatch(QMetaObject::Connection &connection, Sender *sender, Signal signal)
    {
        disconnect(connection);
        connection = sender ? watch(sender, signal) : QMetaObject::Connection();
        request();
    }

private:
    std::function<void()> m_refresh;
    bool m_pending = false;
};

} // namespace vesk
