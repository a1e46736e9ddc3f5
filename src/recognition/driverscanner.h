#pragma once

#include "recognition/driver.h"
#include "recognition/driverscanresult.h"

#include <QByteArray>
#include <QLoggingCategory>

#include <atomic>

// The scanner's per-map log lines ("[DriverScanner V8] ..."); tools that print results of their
// own switch them off through this category.
Q_DECLARE_LOGGING_CATEGORY(lcDriverScanner)

// Where a scan spent its time, per recognition path (nanoseconds, summed over the maps).
struct DriverScanTimings
{
    qint64 autoNs = 0;
    qint64 rawNs = 0;
    qint64 manualNs = 0;
    qint64 anchorFallbackNs = 0;
    qint64 signatureFallbackNs = 0;
};

// Finds the maps of driver in an image of the same software family. A pure function of its
// inputs, safe to run on a worker thread with copies of them. Nothing outside the image is read,
// whatever the driver claims. When cancel turns true the scan ends soon after with a result
// marked cancelled, whose matches are not to be used.
DriverScanResult scanDriver(const QByteArray &firmwareBytes,
                            const Driver &driver,
                            DriverScanTimings *timings = nullptr,
                            const std::atomic_bool *cancel = nullptr);
