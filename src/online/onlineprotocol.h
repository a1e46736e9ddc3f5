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

// The item texts of the vehicle and driver choices.
QString groupItemText(const QJsonObject &group);
QString driverItemText(const QJsonObject &driver);
// The driver's id as text, whether the service sent a string or a number.
QString driverIdOf(const QJsonObject &driver);

} // namespace OnlineProtocol
