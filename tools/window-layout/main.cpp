// quillmark-window-layout main|certform <control> <width> <height>
// Prints "x y", the centre of the control (an object name, or "row:N" for
// row N of the certificate tree) in a window of that size. Run it on the
// display the real window is on, so that fonts and style are the same.
#include "signingwindows.h"

#include <QApplication>
#include <QPoint>
#include <QSize>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    bool widthValid = false;
    bool heightValid = false;
    const QSize size(arguments.value(3).toInt(&widthValid), arguments.value(4).toInt(&heightValid));
    const QString window = arguments.value(1);
    const QString control = arguments.value(2);
    if (arguments.size() != 5 || !widthValid || !heightValid || (window != QLatin1String("main") && window != QLatin1String("certform"))) {
        std::fprintf(stderr, "usage: quillmark-window-layout main|certform <control> <width> <height>\n");
        return 2;
    }
    const QByteArray objectName = control.toLatin1();
    QPoint position;
    if (window == QLatin1String("main"))
        position = SigningWindows::mainWindowControl(objectName.constData(), size);
    else if (control.startsWith(QLatin1String("row:")))
        position = SigningWindows::certFormTreeRow(control.mid(4).toInt(), size);
    else
        position = SigningWindows::certFormControl(objectName.constData(), size);
    std::printf("%d %d\n", position.x(), position.y());
    return 0;
}
