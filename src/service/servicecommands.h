#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// What the catalog needs to know of a driver file, read by the recognition library's loader.
struct DriverFileFacts
{
    QString name;
    int mapCount = 0;
};
using DriverFileInspector
    = std::function<bool(const QString &path, DriverFileFacts &facts, QString &error)>;

// The operator commands of tessamorvandi-service (serve, add-customer, add-driver,
// set-version, list-requests, export-request). arguments exclude the program name. Returns
// the exit status; "serve" returns only when the event loop ends.
int runServiceCommand(const QStringList &arguments, const DriverFileInspector &inspectDriver);

// "HOST:PORT" or "[V6]:PORT" split into its two halves; false when malformed.
bool parseListenAddress(const QString &text, QString &host, quint16 &port);
