#include "closequestion.h"

#include <QMessageBox>
#include <QTimer>

namespace {

// How often the open question looks whether the burn is still under way.
constexpr int kLookMs = 100;

} // namespace

bool closeDuringBurn(QWidget *window, const QString &title, const QString &text, const std::function<bool()> &burning)
{
    if (!burning())
        return true;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, window);
    box.setDefaultButton(QMessageBox::No);
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &box, [&box, &burning] {
        if (!burning())
            box.done(QMessageBox::Yes);
    });
    look.start(kLookMs);
    return box.exec() == QMessageBox::Yes;
}
