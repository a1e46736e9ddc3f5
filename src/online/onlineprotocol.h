#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// What the application and its web service agree on, and the decisions of the online driver
// search that need no network and no window.
namespace OnlineProtocol {

// A driver id becomes part of a cache file name only when it is 1 to 64 letters, digits,
// '-' or '_': anything else could climb out of the cache folder.
bool isPlainIdentifier(const QString &id);
// 64 lower-case hexadecimal digits.
bool isDeviceHash(const QString &text);

// Upper-cased, keeping only A to Z and 0 to 9.
QByteArray reducedForm(QByteArrayView bytes);
// The catalog families found in the firmware, in catalog order and without duplicates: the
// upper-case name in the upper-cased bytes, or its reduced form in the reduced bytes.
QStringList detectEcuFamilies(const QByteArray &firmware, const QStringList &catalog);

// Whether latest is a newer dotted version than running ("1.10" is newer than "1.9"; missing
// parts count as 0; a part that is not a number makes the version unusable, so not newer).
bool isNewerVersion(const QString &latest, const QString &running);

// What a finished request to the service gave: transport and HTTP status, the body, its JSON
// object, and, when it failed, why, in words for the user.
struct Reply
{
    bool ok = false;    // no network error and an HTTP status of 200 to 299
    int httpStatus = 0; // 0 when no answer came
    QByteArray body;
    bool isJsonObject = false;
    QJsonObject json;
    QString errorText; // empty when ok
};

// How the network layer ended a request.
enum class Transport { Answered, TimedOut, Failed };

// The reply to a request that ended as transport says (networkErrorText: the network layer's
// own words, timeoutMs: the time-out that applied). The service's "message" explains a refusal
// when it sent one.
Reply readReply(Transport transport,
                int httpStatus,
                const QByteArray &body,
                const QString &networkErrorText,
                int timeoutMs);

// The item texts of the vehicle and driver choices.
QString groupItemText(const QJsonObject &group);
QString driverItemText(const QJsonObject &driver);
// The driver's id as text, whether the service sent a string or a number.
QString driverIdOf(const QJsonObject &driver);

} // namespace OnlineProtocol
