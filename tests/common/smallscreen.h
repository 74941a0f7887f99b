// A station's screen may be as small as 1366x768: each window, with 2, 4 and
// 8 panels and as the single-band window, must fit it.
#pragma once

#include <QMainWindow>
#include <QSize>
#include <QtTest>

#include <functional>

// multiSizeHint: the size a window with that many panels asks for; both
// windows marked as simulated, their widest title.
inline void verifyFitsASmallScreen(const QMainWindow &single, const std::function<QSize(int slots)> &multiSizeHint)
{
    // The screen less a window frame's title bar and borders.
    const QSize room(1366 - 2 * 8, 768 - 40);
    QList<QSize> sizes;
    for (int count : {2, 4, 8})
        sizes << multiSizeHint(count);
    sizes << single.sizeHint() << single.size();
    for (const QSize &size : sizes)
        QVERIFY2(size.width() <= room.width() && size.height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
}
