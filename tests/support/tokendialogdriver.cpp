#include "tokendialogdriver.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
constexpr int pollIntervalMs = 20;
}

TokenDialogDriver::TokenDialogDriver()
{
    connect(&m_timer, &QTimer::timeout, this, &TokenDialogDriver::poll);
    m_timer.start(pollIntervalMs);
}

void TokenDialogDriver::typePin(const QString &pin)
{
    m_answers.enqueue({Action::TypePin, pin, {}});
}

void TokenDialogDriver::pressCancel()
{
    m_answers.enqueue({Action::Cancel, QString(), {}});
}

void TokenDialogDriver::pressEscape()
{
    m_answers.enqueue({Action::Escape, QString(), {}});
}

void TokenDialogDriver::leaveOpen(const std::function<void()> &whenShown)
{
    m_answers.enqueue({Action::LeaveOpen, QString(), whenShown});
}

int TokenDialogDriver::pinDialogsSeen() const
{
    return m_pinDialogs;
}

int TokenDialogDriver::unexpectedPinDialogs() const
{
    return m_unexpected;
}

QStringList TokenDialogDriver::messagesSeen() const
{
    return m_messages;
}

QStringList TokenDialogDriver::pinPromptsSeen() const
{
    return m_prompts;
}

void TokenDialogDriver::poll()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || widget == m_leftOpen)
            continue;
        if (widget->objectName() == QLatin1String("PinForm"))
            answerPinDialog(widget);
        else if (widget->objectName() == QLatin1String("MsgBox"))
            closeMessageBox(widget);
    }
}

void TokenDialogDriver::answerPinDialog(QWidget *dialog)
{
    ++m_pinDialogs;
    m_prompts.append(dialog->findChild<QLabel *>(QStringLiteral("lblText"))->text());
    if (m_answers.isEmpty()) {
        ++m_unexpected;
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btnCancel")), Qt::LeftButton);
        return;
    }
    const Answer answer = m_answers.dequeue();
    auto *pinField = dialog->findChild<QLineEdit *>(QStringLiteral("lePin"));
    switch (answer.action) {
    case Action::TypePin:
        // keyClicks() knows only ASCII; a key event carrying the text types
        // any character, as an input method would.
        for (const QChar character : answer.pin)
            QTest::sendKeyEvent(QTest::Click, pinField, Qt::Key_unknown, QString(character), Qt::NoModifier);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
        break;
    case Action::Cancel:
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btnCancel")), Qt::LeftButton);
        break;
    case Action::Escape:
        QTest::keyClick(pinField, Qt::Key_Escape);
        break;
    case Action::LeaveOpen:
        m_leftOpen = dialog;
        answer.whenShown();
        break;
    }
}

void TokenDialogDriver::closeMessageBox(QWidget *box)
{
    m_messages.append(box->findChild<QLabel *>(QStringLiteral("lblInfo"))->text());
    auto *buttons = box->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
}
