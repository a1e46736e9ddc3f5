#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// A JSON request body as the service reads it, before any handler looks at it: the object, or
// the refusal to answer with. No network here, so that any body can be tried on it directly.
struct JsonRequest
{
    QJsonObject body;
    int status = 200; // the HTTP status of the refusal; 200 when accepted
    QString message;  // why the body was refused; empty when accepted

    bool accepted() const { return message.isEmpty(); }
};

// A JSON object of at most limit bytes whose textKeys all hold texts (the first missing one is
// named in the refusal), none longer than textCap allows.
JsonRequest readJsonRequest(const QByteArray &bytes, qint64 limit, const QStringList &textKeys);

// A driver search request of the customer signed in as customerCode: as above with
// "customer_code" and "device_hash" among the texts, the code the session's own, the hash 64
// hexadecimal digits and, when needsFirmwareSize, a "firmware_size" number of at least 0.
JsonRequest readSearchRequest(const QByteArray &bytes,
                              qint64 limit,
                              const QStringList &textKeys,
                              const QString &customerCode,
                              bool needsFirmwareSize);

// The longest text the service takes for a field: TextLimits::password for "password",
// TextLimits::notes for "notes", TextLimits::name for every other.
int textCap(const QString &key);
// The refusal of a field's text longer than its cap; empty when it fits.
QString textRefusal(const QString &key, const QString &text);

// What the service learns from a request's head (request line and header lines, without the
// blank line that ends them) before any of its body is read: enough to refuse it at once.
struct RequestHead
{
    QByteArray method;
    QByteArray path;               // the target without its query
    bool closeAfterAnswer = false; // HTTP/1.0 or "Connection: close"
    qint64 contentLength = -1;     // -1 when not given
    bool chunked = false;          // the body comes with a Transfer-Encoding
    QByteArray authorization;
    int status = 200; // the HTTP status of the refusal; 200 when accepted
    QString message;  // why the head was refused; empty when accepted

    bool accepted() const { return message.isEmpty(); }
};

RequestHead readRequestHead(const QByteArray &head);
