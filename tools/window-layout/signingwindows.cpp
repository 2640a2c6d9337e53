#include "signingwindows.h"

#include "certform.h"
#include "configuration.h"
#include "mainwindow.h"

#include <QTreeWidget>

namespace {

// Lays the twin out at the size of the real window without putting it on
// screen. Its start-up work is queued and dies with it, unrun.
void layOut(QWidget &twin, const QSize &size)
{
    twin.setAttribute(Qt::WA_DontShowOnScreen);
    twin.resize(size);
    twin.show();
}

QPoint centreOf(QWidget &twin, QWidget *control)
{
    return control->mapTo(&twin, control->rect().center());
}

} // namespace

namespace SigningWindows {

QPoint mainWindowControl(const char *objectName, const QSize &windowSize)
{
    MainWindow twin(false, false, false, 0, {});
    layOut(twin, windowSize);
    return centreOf(twin, twin.findChild<QWidget *>(QLatin1String(objectName)));
}

QPoint certFormControl(const char *objectName, const QSize &windowSize)
{
    CertForm twin(nullptr, {}, false, false, Configuration());
    layOut(twin, windowSize);
    return centreOf(twin, twin.findChild<QWidget *>(QLatin1String(objectName)));
}

QPoint certFormTreeRow(int row, const QSize &windowSize)
{
    CertForm twin(nullptr, {}, false, false, Configuration());
    layOut(twin, windowSize);
    auto *tree = twin.findChild<QTreeWidget *>(QStringLiteral("treeWidgetCertificates"));
    auto *token = new QTreeWidgetItem(tree, {QStringLiteral("token")});
    token->setIcon(0, QIcon(QStringLiteral(":/Resources/Container")));
    QTreeWidgetItem *target = token;
    for (int i = 0; i < row; ++i) {
        target = new QTreeWidgetItem(token, {QStringLiteral("certificate")});
        target->setIcon(0, QIcon(QStringLiteral(":/Resources/Certs")));
    }
    tree->expandAll();
    const QRect rect = tree->visualItemRect(target);
    return tree->viewport()->mapTo(&twin, QPoint(rect.left() + 40, rect.center().y()));
}

} // namespace SigningWindows
