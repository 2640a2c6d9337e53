#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

// Where the controls of quillmark's signing windows lie on screen, taken
// from windows of the same layout and size built in the test process and
// never mapped: the test clicks the real windows there.
namespace SigningWindows {

QPoint mainWindowControl(const char *objectName, const QSize &windowSize);
QPoint certFormControl(const char *objectName, const QSize &windowSize);
// Row 0 is the token, the rows after it its certificates.
QPoint certFormTreeRow(int row, const QSize &windowSize);
// The keys (xdotool names) that press a control of the English signing
// window without the pointer: its mnemonic, or Tab from the page image,
// which has the focus once a page is shown, then space. Empty when the
// keyboard cannot reach the control.
QString mainWindowKeys(const char *objectName);

} // namespace SigningWindows
