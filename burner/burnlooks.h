// How the burner shows a band's run, the same in the single window's rows
// and on the panels: the step labels, each step's look, the run's detail,
// and the texts both windows say (one translation context, "BurnLooks").
#pragma once

#include "bandpanel.h"
#include "burnreport.h"

#include <QCoreApplication>
#include <QStringList>

class QTableWidget;
class QWidget;

class BurnLooks {
    Q_DECLARE_TR_FUNCTIONS(BurnLooks)
public:
    static QStringList stepNames(); // "CSD" .. "RST"
    static BandPanel::StepLook lookOf(BurnReport::StepResult result);
    // A table of the step rows, one column of results.
    static void setUpRows(QTableWidget *table);
    // Paints a row as a panel paints its step.
    static void paintRow(QTableWidget *table, int row, BandPanel::StepLook look);
    // Every step as the report has it.
    static void paintReport(QTableWidget *table, const BurnReport &report);
    static void paintReport(BandPanel *panel, const BurnReport &report);
    // A panel's line under its verdict while the cycle is at stage, and once it ended.
    static QString stageDetail(BurnReport::Stage stage);
    static QString endDetail(const BurnReport &report);

    // What keeps the station from starting a band (def.xml, bin/,
    // station.ini), for the operator; empty when it may. *files gets
    // def.xml's names when it names both.
    static QString stationProblem(BurnFileNames *files);
    // "[模拟手环]", in the window itself, not only in its title.
    static QWidget *simulatedMarker();
    // Asks before a close mid-burn; true: close.
    static bool mayClose(QWidget *window, const std::function<bool()> &burning);
};
