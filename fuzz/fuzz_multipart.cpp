// The service's reading of an uploaded driver request (multipart/form-data). The first line of
// an input is the request's Content-Type header, the rest its body. A body is either taken
// apart or refused with a reason, never both; the parts are pieces of the body; and the part
// cap holds exactly: a body read with n parts is refused under a cap of n - 1.
#include "fuzzcheck.h"
#include "service/multipartform.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf('\n');
    const QByteArray contentType = newline < 0 ? input : input.left(newline);
    const QByteArray body = newline < 0 ? QByteArray() : input.mid(newline + 1);

    const MultipartForm form = parseMultipartForm(contentType, body);
    if (!form.error.isEmpty()) {
        TESSA_FUZZ_CHECK(form.parts.isEmpty());
        return 0;
    }
    TESSA_FUZZ_CHECK(form.parts.size() <= 16);
    qsizetype total = 0;
    for (const MultipartPart &part : form.parts) {
        TESSA_FUZZ_CHECK(body.contains(part.body));
        TESSA_FUZZ_CHECK(part.hasFileName || part.fileName.isEmpty());
        total += part.body.size();
        const MultipartPart *found = form.part(part.name);
        TESSA_FUZZ_CHECK(found && found->name == part.name);
    }
    TESSA_FUZZ_CHECK(total <= body.size());

    const int n = int(form.parts.size());
    const MultipartForm exact = parseMultipartForm(contentType, body, n);
    TESSA_FUZZ_CHECK(exact.error.isEmpty() && exact.parts.size() == n);
    if (n > 0) {
        const MultipartForm under = parseMultipartForm(contentType, body, n - 1);
        TESSA_FUZZ_CHECK(!under.error.isEmpty() && under.parts.isEmpty());
    }
    return 0;
}
