#include "signingwindows.h"

#include "certform.h"
#include "configuration.h"
#include "documentworkflow.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QKeySequence>
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

// Presses of Tab from one control to another, passing over what Tab passes
// over; -1 when it never comes.
int tabsBetween(QWidget &twin, QWidget *from, QWidget *to)
{
    int presses = 0;
    for (QWidget *next = from->nextInFocusChain(); next != from; next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) != Qt::TabFocus || !next->isEnabled()
            || !next->isVisibleTo(&twin) || next->focusProxy())
            continue;
        ++presses;
        if (next == to)
            return presses;
    }
    return -1;
}

} // namespace

namespace SigningWindows {

QPoint mainWindowControl(const char *objectName, const QSize &windowSize)
{
    DocumentWorkflow workflow(false, {}, {});
    MainWindow twin(workflow, false, false, 0);
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

QString mainWindowKeys(const char *objectName)
{
    DocumentWorkflow workflow(false, {}, {});
    MainWindow twin(workflow, false, false, 0);
    layOut(twin, twin.size());
    auto *control = twin.findChild<QAbstractButton *>(QLatin1String(objectName));
    const QKeySequence mnemonic = QKeySequence::mnemonic(control->text());
    if (!mnemonic.isEmpty())
        return mnemonic.toString().toLower();
    const int tabs =
        tabsBetween(twin, twin.findChild<QWidget *>(QStringLiteral("imageViewer")), control);
    if (tabs < 0)
        return {};
    QString keys;
    for (int i = 0; i < tabs; ++i)
        keys += QStringLiteral("Tab ");
    return keys + QStringLiteral("space");
}

} // namespace SigningWindows
