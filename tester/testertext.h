// The texts both tester windows show, in one translation context: the step
// labels, the title, the start button and the simulated band's marker.
#pragma once

#include <QString>
#include <QStringList>

namespace TesterText {

// Each step row's label, in table order.
QStringList stepLabels();
QString title();
QString start();
QString simulated();

} // namespace TesterText
