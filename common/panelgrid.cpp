#include "panelgrid.h"

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
                     QWidget *parent)
    : QWidget(parent)
{

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
}

void PanelGrid::setNote(const QString &text)
{
    note->setText(text);
}

QString PanelGrid::noteText() const
{
    return note->text();
}
