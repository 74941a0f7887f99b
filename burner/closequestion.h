// The question a window asks before it closes during a burn. It goes away
// by itself once nothing burns any more: a question about a burn that has
// ended must not stay open, and the close the operator asked for goes ahead.
#pragma once

#include <QString>

#include <functional>

class QWidget;

// True: close. burning is asked while the question is open.
bool closeDuringBurn(QWidget *window, const QString &title, const QString &text, const std::function<bool()> &burning);
