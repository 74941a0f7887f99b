#include "recordstatus.h"

#include "recordstore.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStatusBar>

namespace {

// The texts' context for the windows' translations.
struct RecordStatus {
    Q_DECLARE_TR_FUNCTIONS(RecordStatus)
};

// A label as tall as its wrapped text at its width: the status bar (and the
// window's layout) then make room for every line.
class WrappingLabel : public QLabel {
public:
    explicit WrappingLabel(QWidget *parent) : QLabel(parent)
    {
        setWordWrap(true);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    }
    void setWrappedText(const QString &text)
    {
        setText(text);
        setVisible(!text.isEmpty());
        fitHeight();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fitHeight();
    }

private:
    void fitHeight()
    {
        const int height = text().isEmpty() ? 0 : heightForWidth(width());
        if (height != minimumHeight())
            setMinimumHeight(height);
    }
};

QString statusText(const RecordStore &store, const QString &problem)
{
    QStringList lines;
    if (!problem.isEmpty())
        lines << RecordStatus::tr("记录未保存: %1").arg(problem);
    if (!store.settingsProblem().isEmpty())
        lines << RecordStatus::tr("站点设置有误: %1").arg(store.settingsProblem());
    return lines.join(QLatin1Char('\n'));
}

} // namespace

void showRecordProblems(const RecordStore &store, QStatusBar *bar)
{
    auto *label = new WrappingLabel(bar);
    label->setObjectName(QStringLiteral("recordStatus"));
    label->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    // Stretched over whatever the window shows beside it, as wide as the bar allows.
    bar->addPermanentWidget(label, 1);
    const auto show = [label, &store](const QString &problem) {
        label->setWrappedText(statusText(store, problem));
        label->setToolTip(label->text());
    };
    show(store.problem());
    QObject::connect(&store, &RecordStore::problemChanged, label, show);
}
