#include "loginthrottle.h"

namespace {

QString codeKey(const QString &code)
{
    return QStringLiteral("c:") + code;
}

QString addressKey(const QString &address)
{
    return QStringLiteral("a:") + address;
}

} // namespace

void LoginThrottle::record(const QString &key, qint64 nowMs)
{
    if (!m_attempts.contains(key) && m_attempts.size() >= m_rules.maxTracked) {
        // Somebody tries many codes or addresses: forget what has aged out first. Past the
        // bound a new key is not remembered at all, so memory stays bounded.
        for (auto it = m_attempts.begin(); it != m_attempts.end();) {
            if (it->isEmpty() || it->last() <= nowMs - m_rules.windowMs)
                it = m_attempts.erase(it);
            else
                ++it;
        }
        if (m_attempts.size() >= m_rules.maxTracked)
            return;
    }
    QList<qint64> &list = m_attempts[key];
    while (!list.isEmpty() && list.first() <= nowMs - m_rules.windowMs)
        list.removeFirst();
    list.append(nowMs);
}

int LoginThrottle::wait(const QString &key, int limit, qint64 nowMs) const
{
    const auto it = m_attempts.constFind(key);
    if (it == m_attempts.constEnd())
        return 0;
    const QList<qint64> &list = *it;
    qsizetype first = 0; // the oldest attempt still inside the window
    while (first < list.size() && list.at(first) <= nowMs - m_rules.windowMs)
        ++first;
    if (list.size() - first < limit)
        return 0;
    // The attempt that keeps the count at the limit must age out first.
    const qint64 freeAt = list.at(list.size() - limit) + m_rules.windowMs;
    return int((freeAt - nowMs + 999) / 1000);
}

int LoginThrottle::waitSeconds(const QString &code, const QString &address, qint64 nowMs) const
{
    return qMax(wait(codeKey(code), m_rules.perCode, nowMs),
                wait(addressKey(address), m_rules.perAddress, nowMs));
}

void LoginThrottle::attempt(const QString &code, const QString &address, qint64 nowMs)
{
    record(addressKey(address), nowMs);
    record(codeKey(code), nowMs);
}

void LoginThrottle::succeeded(const QString &code, const QString &address)
{
    m_attempts.remove(codeKey(code));
    const auto it = m_attempts.find(addressKey(address));
    if (it != m_attempts.end() && !it->isEmpty())
        it->removeLast();
}

QString LoginThrottle::message(int seconds)
{
    return seconds == 1 ? QStringLiteral("Troppi tentativi di accesso: riprova tra 1 secondo.")
                        : QStringLiteral("Troppi tentativi di accesso: riprova tra %1 secondi.")
                              .arg(seconds);
}
