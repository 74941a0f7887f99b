// The body of a window that serves several bands: its panels in a grid (in
// a scroll area when they do not fit), a button that starts every ready
// panel and a note below them. Only shows; the slot manager says what.
#pragma once

#include "bandpanel.h"

#include <QWidget>

class QLabel;
class QPushButton;

class PanelGrid : public QWidget {
    Q_OBJECT
public:
    PanelGrid(int slotCount, const QStringList &stepNames, const QString &startText, const QString &startAllText,
              QWidget *parent = nullptr);

    BandPanel *panel(int slot) const { return panels.value(slot); }
    int slotCount() const { return int(panels.size()); }
    QPushButton *startAllButton() const { return startAll; }
    void setNote(const QString &text);
    QString noteText() const;

signals:
    void startAllRequested();

private:
    QVector<BandPanel *> panels;
    QPushButton *startAll;
    QLabel *note;
};
