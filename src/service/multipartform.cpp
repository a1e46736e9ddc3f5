#include "multipartform.h"

#include <optional>

namespace {

// The value of a parameter of a header (name="value" or name=value). Parameter names are
// matched without regard to case, and a quoted value may hold ';' and escaped quotes, so that
// a file name such as "a;b.bin" or a parameter spelt "Filename" reads as the sender meant.
// Empty when the header has no such parameter, which differs from a parameter left empty.
std::optional<QByteArray> headerParameter(const QByteArray &header, const QByteArray &parameter)
{
    qsizetype i = header.indexOf(';');
    while (i >= 0 && i < header.size()) {
        ++i; // past the ';'
        while (i < header.size() && (header.at(i) == ' ' || header.at(i) == '\t'))
            ++i;
        const qsizetype nameStart = i;
        while (i < header.size() && header.at(i) != '=' && header.at(i) != ';')
            ++i;
        const QByteArray name = header.mid(nameStart, i - nameStart).trimmed();
        if (i >= header.size() || header.at(i) == ';')
            continue;
        ++i; // past the '='
        while (i < header.size() && (header.at(i) == ' ' || header.at(i) == '\t'))
            ++i;
        QByteArray value;
        if (i < header.size() && header.at(i) == '"') {
            for (++i; i < header.size() && header.at(i) != '"'; ++i) {
                if (header.at(i) == '\\' && i + 1 < header.size())
                    ++i;
                value.append(header.at(i));
            }
            i = header.indexOf(';', i);
        } else {
            const qsizetype end = header.indexOf(';', i);
            value = header.mid(i, (end < 0 ? header.size() : end) - i).trimmed();
            i = end;
        }
        if (name.compare(parameter, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
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
    const QByteArray boundary = headerParameter(contentType, "boundary").value_or(QByteArray());
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
        // The blank line after the headers must come whole before the delimiter; when its
        // CRLF doubles as the delimiter's, the part is cut short and the body refused.
        if (headerEnd < 0 || next < 0 || headerEnd + 4 > next)
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
                part.name = QString::fromUtf8(headerParameter(value, "name").value_or(""));
                const std::optional<QByteArray> fileName = headerParameter(value, "filename");
                part.hasFileName = fileName.has_value();
                part.fileName = QString::fromUtf8(fileName.value_or(QByteArray()));
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
