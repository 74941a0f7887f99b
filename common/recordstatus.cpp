#include "recordstatus.h"

#include "connections.h"
#include "recordstore.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QToolBar>

#include <functional>

namespace {

// The texts' context for the windows' translations.
struct RecordStatus {
    Q_DECLARE_TR_FUNCTIONS(RecordStatus)
};

// A label as tall as its wrapped text at its width: the strip it sits in
// (and the window's layout) then make room for every line.
class WrappingLabel : public QLabel {
public:
    explicit WrappingLabel(QWidget *parent) : QLabel(parent)
    {
        setWordWrap(true);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
        setMinimumWidth(1);
    }
    std::function<void()> heightChanged;

    // As tall as the lines at the width the label has, never QLabel's own
    // guess of a narrow column.
    QSize sizeHint() const override { return QSize(1, minimumHeight()); }
    QSize minimumSizeHint() const override { return sizeHint(); }

    void setWrappedText(const QString &text)
    {
        setText(text);
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
        // Until the strip is laid out, the window's width is the best guess.
        const int width = isVisible() ? this->width() : window()->width();
        const int height = text().isEmpty() ? 0 : heightForWidth(width);
        if (height == minimumHeight())
            return;
        setMinimumHeight(height);
        if (heightChanged)
            heightChanged();
    }
};

QString statusText(const RecordStore &store, const QString &problem)
{
    QStringList lines;
    if (!problem.isEmpty())
        lines << RecordStatus::tr("记录未保存: %1").arg(problem);
    if (!store.settings().problem.isEmpty())
        lines << RecordStatus::tr("站点设置有误: %1").arg(store.settings().problem);
    if (store.settings().unverifiedServer())
        lines << RecordStatus::tr("记录服务器 %1 的连接未经验证（station.ini 中没有 [database] ca=）")
                     .arg(displayUrl(store.settings().serverUrl));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

void showRecordProblems(const RecordStore &store, QMainWindow *window)
{
    // A strip of its own above the status bar, as wide as the window: beside
    // the status texts a narrow window would have room for a word a line.
    auto *strip = new QToolBar(window);
    strip->setObjectName(QStringLiteral("recordStrip"));
    strip->setMovable(false);
    strip->setFloatable(false);
    strip->toggleViewAction()->setVisible(false); // not for the operator to hide
    auto *label = new WrappingLabel(strip);
    label->setObjectName(QStringLiteral("recordStatus"));
    label->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    strip->addWidget(label);
    window->addToolBar(Qt::BottomToolBarArea, strip);

    // A window of a fixed size would squeeze its table and buttons to make
    // room for the lines: it grows by them instead, and shrinks back.
    const bool fixedHeight = window->minimumHeight() == window->maximumHeight();
    const int baseHeight = window->height();
    label->heightChanged = [window, strip, fixedHeight, baseHeight] {
        if (fixedHeight)
            window->setFixedHeight(baseHeight + (strip->isHidden() ? 0 : strip->sizeHint().height()));
    };
    const auto show = [label, strip, &store](const QString &problem) {
        const QString text = statusText(store, problem);
        strip->setVisible(!text.isEmpty());
        label->setWrappedText(text);
        label->setToolTip(text);
        label->heightChanged();
    };
    show(store.problem());
    QObject::connect(&store, &RecordStore::problemChanged, label, show);
}
