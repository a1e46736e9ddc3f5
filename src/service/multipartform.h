#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A multipart/form-data body taken apart. The parts are views into nothing: each holds its own
// copy of its bytes, so the body may go once parsed.
struct MultipartPart
{
    QString name;
    QString fileName; // empty for a text field
    bool hasFileName = false;
    QByteArray contentType;
    QByteArray body;
};

struct MultipartForm
{
    QList<MultipartPart> parts;
    QString error; // empty when the body was well formed

    const MultipartPart *part(const QString &name) const;
};

// contentType is the request's Content-Type header (it carries the boundary). At most maxParts
// parts are accepted; more is an error, as is a body that does not end with the closing
// boundary.
MultipartForm
parseMultipartForm(const QByteArray &contentType, const QByteArray &body, int maxParts = 16);
