// One band's panel in a window that serves several: where the band is
// plugged in, its steps coloured by state, one large PASS or FAIL, a line
// for the version or the reason, and a button that starts its run. Only
// shows what it is told; the window decides.
#pragma once

#include <QFrame>
#include <QStringList>

namespace Ui { class BandPanel; }
class QPushButton;

class BandPanel : public QFrame {
    Q_OBJECT
public:
    enum class StepLook { NotRun, Running, Passed, Failed };
    enum class Verdict { None, Running, Pass, Fail };

    BandPanel(int number, const QStringList &stepNames, const QString &startText, QWidget *parent = nullptr);
    ~BandPanel() override;

    // Empty: no band in this panel.
    void setLocation(const QString &location);
    // text: what the step gave (a version, a time); empty shows the look's own word.
    void setStepLook(int row, StepLook look, const QString &text = QString());
    void clearSteps();
    void setVerdict(Verdict verdict);
    void setDetail(const QString &text);
    void setStartEnabled(bool enabled);

    // What the panel shows, for the window's tests.
    StepLook stepLook(int row) const;
    QString stepText(int row) const;
    Verdict verdict() const;
    QString location() const;
    QString detail() const;
    QPushButton *startButton() const;

    static QColor colourOf(StepLook look); // neutral (invalid), blue, green, red

signals:
    void startRequested();

private:
    Ui::BandPanel *ui;
    QVector<StepLook> looks;
    Verdict shown = Verdict::None;
    QString where;
};
