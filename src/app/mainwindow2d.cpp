// The main window's controls that drive the active document's 2D view: the X and Y zoom
// boxes, the sample width and byte order, the column and row-origin commands, and the
// ORI / MOD comparison started from a 2D view.
#include "app/mainwindow.h"

#include "app/documentwindow.h"
#include "app/orimodcomparison.h"
#include "app/zoomspinbox.h"
#include "hex/hex2dview.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"

#include <QAction>
#include <QActionGroup>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalBlocker>
#include <QStatusBar>

Hex2DView *MainWindow::activeHex2DView() const
{
    DocumentWindow *document = activeDocumentWindow();
    return document ? document->hex2DView() : nullptr;
}

void MainWindow::connect2DControls()
{
    m_comparison = std::make_unique<OriModComparison>(this);

    connect(m_zoomX, qOverload<int>(&QSpinBox::valueChanged), this, [this](int percent) {
        if (Hex2DView *view = activeHex2DView()) {
            view->setUserZoomX(percent / 100.0);
            // A small image cannot be shown below its whole: the box tells what the view does.
            view->setProperty("userZoomXPercent", view->zoomXPercent());
            const QSignalBlocker block(m_zoomX);
            m_zoomX->setValue(view->zoomXPercent());
        }
    });
    connect(m_zoomY, qOverload<int>(&QSpinBox::valueChanged), this, [this](int percent) {
        if (Hex2DView *view = activeHex2DView()) {
            view->setProperty("userZoomYPercent", percent);
            view->setUserZoomY(percent / 100.0);
        }
    });
    connect(m_widthGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        Hex2DView *view = activeHex2DView();
        if (!view)
            return;
        const QString name = a->objectName();
        if (name == QLatin1String("widthFloatAction")) {
            view->setFloatMode(true);
            return;
        }
        view->setFloatMode(false);
        // A wider cell may have moved the table's row origin onto its boundary.
        if (DocumentWindow *document = activeDocumentWindow())
            document->set2DRowOrigin(document->hexViewer()->model()->rowOrigin());
        view->setValueWidth(name == QLatin1String("width16Action")   ? 2
                            : name == QLatin1String("width32Action") ? 4
                                                                     : 1);
    });
    connect(m_byteOrderGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        // The hex model has just taken the choice; "Auto" follows what it decided.
        Q_UNUSED(a);
        if (DocumentWindow *document = activeDocumentWindow())
            document->sync2DByteOrder();
    });
}

void MainWindow::sync2DControlsWithActiveDocument()
{
    Hex2DView *view = activeHex2DView();
    if (!view)
        return;
    const auto percent = [view](const char *name) {
        const int v = view->property(name).toInt();
        return v < 1 ? 100 : v;
    };
    const QSignalBlocker blockX(m_zoomX);
    const QSignalBlocker blockY(m_zoomY);
    m_zoomX->setValue(percent("userZoomXPercent"));
    m_zoomY->setValue(percent("userZoomYPercent"));
}

void MainWindow::connect2DDocument(DocumentWindow *document)
{
    connect(document, &DocumentWindow::firmwareDropRequested, this,
            [this, document](const QString &fileName) { m_comparison->run(document, fileName); });
    connect(document->hex2DView(), &Hex2DView::zoomXChangedByWheel, this, [this, document] {
        Hex2DView *view = document->hex2DView();
        view->setProperty("userZoomXPercent", view->zoomXPercent());
        if (view == activeHex2DView())
            sync2DControlsWithActiveDocument();
    });
    connect(document, &DocumentWindow::statusMessage, this,
            [this](const QString &text, int timeout) { statusBar()->showMessage(text, timeout); });
}
