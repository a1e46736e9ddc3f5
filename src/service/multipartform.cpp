#include "multipartform.h"

namespace {

// The value of a parameter of a header (name="value" or name=value).
QByteArray headerParameter(const QByteArray &header, const QByteArray &parameter)
{
    qsizetype from = 0;
    while (from < header.size()) {
        const qsizetype semicolon = header.indexOf(';', from);
        const qsizetype end = semicolon < 0 ? header.size() : semicolon;
        const QByteArray item = header.mid(from, end - from).trimmed();
        const qsizetype equals = item.indexOf('=');
        if (equals > 0
            && item.left(equals).trimmed().compare(parameter, Qt::CaseInsensitive) == 0) {
            QByteArray value = item.mid(equals + 1).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
        from = end + 1;
    }
    return {};
}

bool hasParameter(const QByteArray &header, const QByteArray &parameter)
{
    const QByteArray needle = parameter + '=';
    qsizetype from = 0;
    while ((from = header.indexOf(needle, from)) >= 0) {
        if (from == 0 || header.at(from - 1) == ' ' || header.at(from - 1) == ';')
            return true;
        ++from;
    }
    return false;
}

} // namespace

const MultipartPart *MultipartForm::part(const QString &name) const
{
    for (const MultipartPart &p : parts) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

MultipartForm
parseMultipartForm(const QByteArray &contentType, const QByteArray &body, int maxParts)
{
    MultipartForm form;
    if (!contentType.trimmed().toLower().startsWith("multipart/form-data")) {
        form.error = QStringLiteral("expected multipart/form-data");
        return form;
    }
    const QByteArray boundary = headerParameter(contentType, "boundary");
    if (boundary.isEmpty() || boundary.size() > 200) {
        form.error = QStringLiteral("multipart body without a usable boundary");
        return form;
    }
    const QByteArray delimiter = "--" + boundary;
    qsizetype position = body.indexOf(delimiter);
    if (position < 0) {
        form.error = QStringLiteral("multipart body without its boundary");
        return form;
    }
    const QByteArray partDelimiter = "\r\n" + delimiter;
    position += delimiter.size();
    while (true) {
        if (body.mid(position, 2) == "--")
            return form; // closing boundary
        if (body.mid(position, 2) != "\r\n")
            break;
        position += 2;
        const qsizetype headerEnd = body.indexOf("\r\n\r\n", position);
        const qsizetype next = body.indexOf(partDelimiter, position);
        if (headerEnd < 0 || next < 0 || headerEnd > next)
            break;
        if (form.parts.size() >= maxParts) {
            form.error = QStringLiteral("too many parts in the multipart body");
            form.parts.clear();
            return form;
        }
        MultipartPart part;
        const QList<QByteArray> headers = body.mid(position, headerEnd - position).split('\n');
        for (const QByteArray &rawLine : headers) {
            const QByteArray line = rawLine.trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray key = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (key == "content-disposition") {
                part.name = QString::fromUtf8(headerParameter(value, "name"));
                part.hasFileName = hasParameter(value, "filename");
                part.fileName = QString::fromUtf8(headerParameter(value, "filename"));
            } else if (key == "content-type") {
                part.contentType = value;
            }
        }
        part.body = body.mid(headerEnd + 4, next - (headerEnd + 4));
        form.parts.append(part);
        position = next + partDelimiter.size();
    }
    form.parts.clear();
    form.error = QStringLiteral("malformed multipart body");
    return form;
}
