#pragma once

#include "checksums/checksummodule.h"

#include <QDialog>
#include <QObject>

#include <functional>

class HexModel;
class QTimer;
class QToolButton;

// The checksum report of one image as a user reads it: the module and what it found, then
// one row per block with its areas, where its value lies, the stored and computed values and
// whether they match. "Correggi checksum" closes the dialog with correctionRequested() true.
class ChecksumReportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ChecksumReportDialog(const ChecksumReport &report, QWidget *parent = nullptr);
    bool correctionRequested() const { return m_correctionRequested; }

private:
    bool m_correctionRequested = false;
};

// What to do with wrong checksums before an image is saved or exported.
enum class ChecksumWriteChoice { Correct, Keep, Cancel };

// Asks "correct / keep as is / cancel" in a question box titled title. Tests replace the box
// with setChecksumQuestion (an empty function restores it).
ChecksumWriteChoice
askAboutWrongChecksums(QWidget *parent, const QString &title, const ChecksumReport &report);
void setChecksumQuestion(
    std::function<ChecksumWriteChoice(const QString &title, const ChecksumReport &)> question);

// The checksums of one document: its status button in the document window's bar, kept up to
// date a moment after each edit, the correction as one undoable write through the hex model,
// the report dialog and the question before the image leaves the program.
class DocumentChecksums : public QObject
{
    Q_OBJECT
public:
    DocumentChecksums(HexModel *model, QWidget *parentWidget);

    QToolButton *statusButton() const { return m_button; }
    // The report of the current bytes (checked now if an edit is still waiting).
    const ChecksumReport &report();
    // "Correggi checksum": the number of blocks corrected, 0 when there was nothing to do.
    int correct();
    void showReport();
    // Before saving or exporting: false when the user cancels. Corrects first when asked to.
    bool confirmBeforeWriting(const QString &title);

signals:
    void statusMessage(const QString &text, int timeout);

private:
    void check();

    HexModel *m_model;
    QWidget *m_parentWidget;
    QToolButton *m_button;
    QTimer *m_timer;
    ChecksumReport m_report;
};
