#include "panelgrid.h"

#include "bandports.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Four across fills a wide screen with 8 panels in two rows.
constexpr int kMaxColumns = 4;

} // namespace

PanelGrid::PanelGrid(int slotCount, const QStringList &stepNames, const QString &startText, const QString &startAllText,
                     const PortSource *ports, QWidget *parent)
    : QWidget(parent), map(slotCount), source(ports)
{
    static const SystemPortSource systemPorts;
    if (!source)
        source = &systemPorts;

    auto *grid = new QWidget;
    auto *gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    const int columns = std::min(slotCount, kMaxColumns);
    for (int slot = 0; slot < slotCount; ++slot) {
        auto *panel = new BandPanel(slot + 1, stepNames, startText, grid);
        gridLayout->addWidget(panel, slot / columns, slot % columns);
        panels << panel;
    }
    auto *scroll = new QScrollArea;
    scroll->setWidget(grid);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Wide enough that the panels never need a sideways scroll.
    scroll->setMinimumWidth(grid->sizeHint().width() + 4);
    scroll->setMinimumHeight(std::min(grid->sizeHint().height(), panels.first()->sizeHint().height() * 2 + 12) + 4);

    startAll = new QPushButton(startAllText);
    startAll->setObjectName(QStringLiteral("pbStartAll"));
    startAll->setEnabled(false);
    connect(startAll, &QPushButton::clicked, this, &PanelGrid::startAllRequested);
    note = new QLabel;
    note->setWordWrap(true);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(note, 1);
    bottom->addWidget(startAll);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addLayout(bottom);

    connect(&pollTimer, &QTimer::timeout, this, &PanelGrid::portsMayHaveChanged);
}

void PanelGrid::setNote(const QString &text)
{
    note->setText(text);
}

bool PanelGrid::everyBandHasItsResult(bool *allPassed) const
{
    bool anyBand = false;
    bool passed = true;
    for (const BandPanel *panel : panels) {
        if (panel->location().isEmpty())
            continue;
        anyBand = true;
        if (panel->verdict() != BandPanel::Verdict::Pass && panel->verdict() != BandPanel::Verdict::Fail)
            return false;
        passed = passed && panel->verdict() == BandPanel::Verdict::Pass;
    }
    if (allPassed)
        *allPassed = passed;
    return anyBand;
}

QString PanelGrid::noteText() const
{
    return note->text();
}

QList<PanelGrid::BandPlace> PanelGrid::bandPlaces() const
{
    QList<BandPlace> places;
    for (const BandPort &port : bandPortsIn(source->availablePorts())) {
        const SerialPortEntry &entry = port.entry;
        places << BandPlace{entry.usbLocation.isEmpty() ? entry.portName : entry.usbLocation,
                            source->devicePath(entry)};
    }
    return places;
}

bool PanelGrid::isListed(const QString &location) const
{
    const QList<BandPlace> places = bandPlaces();
    return std::any_of(places.begin(), places.end(), [&](const BandPlace &p) { return p.location == location; });
}

void PanelGrid::startWatching(int pollMs)
{
    // The source may call from any thread; the grid looks on its own.
    source->watchChanges(this, [this] {
        QMetaObject::invokeMethod(this, &PanelGrid::portsMayHaveChanged, Qt::QueuedConnection);
    });
    pollTimer.start(pollMs);
    QMetaObject::invokeMethod(this, &PanelGrid::portsMayHaveChanged, Qt::QueuedConnection);
}
