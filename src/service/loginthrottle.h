#pragma once

#include <QHash>
#include <QList>
#include <QString>

// Slows down guessing: counts the sign-in attempts of each customer code and of each client
// address within a sliding window and, past a count, makes them wait. An attempt counts from
// the moment it starts (not when its password check ends), so that many attempts sent at once
// cannot all slip in before the first one fails. Times are milliseconds of any steady clock.
struct LoginThrottleRules
{
    int perCode = 5;     // attempts a customer code may fail within the window
    int perAddress = 20; // attempts one client address may fail within the window
    qint64 windowMs = 60000;
    int maxTracked = 20000; // codes and addresses remembered at most
};

class LoginThrottle
{
public:
    using Rules = LoginThrottleRules;

    explicit LoginThrottle(Rules rules = {})
        : m_rules(rules)
    {
    }

    // Seconds to wait before code may be tried from address; 0 when it may be now.
    int waitSeconds(const QString &code, const QString &address, qint64 nowMs) const;
    // An attempt starts; it counts as failed unless succeeded() follows.
    void attempt(const QString &code, const QString &address, qint64 nowMs);
    // The attempt of code from address was right: the code starts afresh and the address
    // gets its attempt back.
    void succeeded(const QString &code, const QString &address);

    // The message of a refused attempt, with the seconds to wait.
    static QString message(int seconds);

private:
    void record(const QString &key, qint64 nowMs);
    int wait(const QString &key, int limit, qint64 nowMs) const;

    Rules m_rules;
    QHash<QString, QList<qint64>> m_attempts; // key: "c:" + code or "a:" + address
};
