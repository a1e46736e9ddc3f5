#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstdlib>

// Where a target that goes through files keeps them: memory-backed when the system has such
// a folder, since every whole-file save syncs to disk and would dominate each run.
inline QString fuzzScratchRoot()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

// A property a reader must keep on every input. A breach aborts, so that libFuzzer keeps the
// input as a crash like any memory fault.
#define TESSA_FUZZ_CHECK(condition)                                                          \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__,        \
                         #condition);                                                        \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)
