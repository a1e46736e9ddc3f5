#pragma once

// What several test programs need alike: running a built program as a script would, reading
// and writing the small files they hand to it, and rows of texts for their tables.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <array>

namespace testsupport {

struct ProcessResult
{
    int exitCode = -1; // stays -1 when the program did not start, crashed or hung
    QByteArray out;
    QByteArray err;

    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

// Runs the program with the arguments and, when given, input on its stdin; stdin is closed
// either way so a program that reads it cannot wait forever.
inline ProcessResult
runProgram(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    ProcessResult result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

#ifdef TESSA_CLI_PATH
inline ProcessResult runCli(const QStringList &arguments)
{
    return runProgram(QStringLiteral(TESSA_CLI_PATH), arguments);
}
#endif

// The path written, or an empty string when the file could not be written whole.
inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return file.fileName();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A test's own folder, which writes the files the test hands to the code under test.
class TempFolder : public QTemporaryDir
{
public:
    // The path written, or an empty string when the file could not be written whole.
    QString write(const QString &name, const QByteArray &bytes) const
    {
        return writeFile(filePath(name), bytes);
    }
};

// The byte at offset in a file; 0 when the file is missing or shorter.
inline char byteOf(const QString &path, int offset)
{
    const QByteArray bytes = readFile(path);
    return offset < bytes.size() ? bytes.at(offset) : char(0);
}

// A table's columns in one statement: addColumns<int, QString>({"rows", "text"}).
template<typename... Types>
void addColumns(const std::array<const char *, sizeof...(Types)> &names)
{
    std::size_t i = 0;
    (QTest::addColumn<Types>(names[i++]), ...);
}

// One row of a table whose columns are all texts.
inline void addRow(const char *tag, std::initializer_list<QString> texts)
{
    QTestData &row = QTest::newRow(tag);
    for (const QString &text : texts)
        row << text;
}

#ifdef TESSA_SOURCE_DIR
inline QString example(const char *name)
{
    return QStringLiteral(TESSA_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}
#endif

} // namespace testsupport
