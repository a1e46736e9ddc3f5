#include "app/orimodcomparison.h"

#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "hex/hex2dview.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "model/firmwareproject.h"
#include "projects/mapcomparison.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include <climits>
#include <memory>

namespace {

const char Title[] = "Confronto ORI / MOD";

// What the new document takes over from the ORI document's views.
struct RememberedViews
{
    int page = 0;
    int valueWidth = 1;
    bool floatMode = false;
    bool littleEndian = true;
    double userZoomX = 1.0;
    double zoomY = 1.0;
    QVariant zoomXPercent;
    QVariant zoomYPercent;
};

void copyProjectData(const FirmwareProject &from, FirmwareProject &to)
{
    static_cast<ProjectTexts &>(to) = from;
}

} // namespace

OriModComparison::OriModComparison(MainWindow *mainWindow)
    : m_mainWindow(mainWindow)
    , m_prompts(defaultPrompts(mainWindow))
{
}

void OriModComparison::setPrompts(const Prompts &prompts)
{
    const Prompts fallback = defaultPrompts(m_mainWindow);
    m_prompts = prompts;
    if (!m_prompts.showReport)
        m_prompts.showReport = fallback.showReport;
    if (!m_prompts.warning)
        m_prompts.warning = fallback.warning;
}

OriModComparison::Prompts OriModComparison::defaultPrompts(MainWindow *parent)
{
    Prompts p;
    p.showReport = [parent](const CompareReport &report, bool second) {
        QMessageBox box(parent);
        box.setWindowTitle(report.title);
        box.setText(report.text);
        box.setIcon(report.level == CompareReport::Critical  ? QMessageBox::Critical
                    : report.level == CompareReport::Warning ? QMessageBox::Warning
                                                             : QMessageBox::Information);
        QAbstractButton *proceed = nullptr;
        QAbstractButton *cancel = nullptr;
        if (second) {
            proceed = box.addButton(QMessageBox::Ok);
            cancel = box.addButton(QMessageBox::Cancel);
        } else {
            cancel = box.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
            proceed = box.addButton(QStringLiteral("Avanti"), QMessageBox::AcceptRole);
        }
        box.setDefaultButton(
            qobject_cast<QPushButton *>(report.proceedIsDefault ? proceed : cancel));
        box.exec();
        return box.clickedButton() == proceed;
    };
    p.warning = [parent](const QString &title, const QString &text) {
        QMessageBox::warning(parent, title, text);
    };
    return p;
}

FirmwareProject *OriModComparison::run(DocumentWindow *ori, const QString &modPath)
{
    if (!ori || !ori->record() || !ori->record()->firmware)
        return nullptr;
    const FirmwareProject &oriRecord = *ori->record();
    auto mod = std::make_unique<Firmware>();
    if (!mod->load(modPath.toStdString())) {
        m_prompts.warning(QString::fromLatin1(Title),
                          QStringLiteral("Impossibile caricare il file MOD."));
        return nullptr;
    }
    // ORI is the document's original (as loaded, or its project's "Originale"), never the
    // bytes edited since: those edits are not the MOD's and must not be counted as its own.
    const std::vector<uint8_t> &oriImage = oriRecord.firmware->data();
    const QByteArray oriBytes = !oriRecord.originalBytes.isEmpty()
                                    ? oriRecord.originalBytes
                                    : QByteArray(reinterpret_cast<const char *>(oriImage.data()),
                                                 qsizetype(oriImage.size()));
    const qint64 oriSize = oriBytes.size();
    const qint64 modSize = qint64(mod->size());
    if (oriSize != modSize) {
        m_prompts.warning(QString::fromLatin1(Title),
                          QStringLiteral("ORI e MOD hanno dimensioni differenti.\n\nORI: %1 "
                                         "bytes\nMOD: %2 bytes")
                              .arg(oriSize)
                              .arg(modSize));
        return nullptr;
    }

    RememberedViews remembered;
    remembered.page = ori->currentPage() == 1 ? 1 : 0;
    const HexModel *oriModel = ori->hexViewer() ? ori->hexViewer()->model() : nullptr;
    if (const Hex2DView *view = ori->hex2DView()) {
        remembered.valueWidth = view->valueWidth();
        remembered.floatMode = view->floatMode();
        remembered.littleEndian = view->isLittleEndian();
        remembered.userZoomX = view->userZoomX();
        remembered.zoomY = view->zoomY();
        remembered.zoomXPercent = view->property("userZoomXPercent");
        remembered.zoomYPercent = view->property("userZoomYPercent");
    }

    const CompareStatistics statistics = compareImages(
        oriBytes.constData(), reinterpret_cast<const char *>(mod->data().data()), oriSize);
    const QString modName = QFileInfo(modPath).fileName();
    if (!m_prompts.showReport(firstCompareReport(statistics, modName, oriSize, modSize), false))
        return nullptr;
    CompareReport second = secondCompareReport(statistics, modName);
    // With maps, the report says which of them the MOD changed and what it changed elsewhere.
    if (!oriRecord.maps.isEmpty())
        second.text += QStringLiteral("\n\n")
                       + mapComparisonText(compareMaps(oriRecord.maps,
                                                       reinterpret_cast<const uint8_t *>(
                                                           oriBytes.constData()),
                                                       mod->data().data(), oriSize),
                                           oriRecord.maps, 15);
    if (!m_prompts.showReport(second, true))
        return nullptr;

    mod->setFilePath(modPath.toStdString());
    // The MOD is the same software: the ORI's maps describe it too.
    FirmwareProject *record
        = m_mainWindow->createDocumentFromFirmware(mod.release(), oriRecord.maps);
    copyProjectData(oriRecord, *record);
    DocumentWindow *document = m_mainWindow->documentWindowOf(record);
    Hex2DView *view = document ? document->hex2DView() : nullptr;
    if (!view) {
        m_prompts.warning(QString::fromLatin1(Title), QStringLiteral("Vista MOD non disponibile."));
        return record;
    }
    if (HexViewer *viewer = document->hexViewer(); viewer && oriModel) {
        viewer->setDecimal(oriModel->isDecimal());
        if (oriModel->floatMode())
            viewer->setFloatMode(true);
        else
            viewer->setWidthMode(oriModel->widthMode());
        viewer->setByteOrder(oriModel->byteOrder());
        viewer->model()->setByteOrderExplicit(oriModel->byteOrderExplicit());
    }
    view->setLittleEndian(remembered.littleEndian);
    view->setValueWidth(remembered.valueWidth);
    view->setFloatMode(remembered.floatMode);
    document->setReferenceBytes(oriBytes);
    m_mainWindow->setComparison(record, oriBytes,
                                QStringLiteral("ORI (%1)").arg(oriRecord.fileName));
    view->setUserZoomX(remembered.userZoomX);
    view->setUserZoomY(remembered.zoomY);
    if (remembered.zoomXPercent.isValid())
        view->setProperty("userZoomXPercent", remembered.zoomXPercent);
    if (remembered.zoomYPercent.isValid())
        view->setProperty("userZoomYPercent", remembered.zoomYPercent);
    m_mainWindow->syncToolbarWithActiveDocument();
    if (remembered.page == 1)
        document->findChild<QPushButton *>(QStringLiteral("document2DButton"))->click();
    else
        document->findChild<QPushButton *>(QStringLiteral("documentTextButton"))->click();
    // The user dropped MOD to see what it changes: both views start at its first change.
    if (statistics.firstChange >= 0 && statistics.firstChange <= INT_MAX) {
        // The graph first: near the image's ends it centres on its window, not on the offset,
        // and the hex view follows what it reports; the hex view then selects the change itself.
        const int first = int(statistics.firstChange);
        view->centerOnOffset(first);
        if (HexViewer *viewer = document->hexViewer())
            viewer->goToOffset(first);
    }
    m_mainWindow->statusBar()->showMessage(
        QStringLiteral("MOD caricato - confronto ORI/MOD attivo."));
    return record;
}
