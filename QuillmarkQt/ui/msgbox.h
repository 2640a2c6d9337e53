#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>

class AppException;
class QAbstractButton;

namespace Ui {
class MsgBox;
}

// The one information and error box of quillmark. Errors may carry a
// technical text in a details pane that the user unfolds with the Help button.
// Boxes are opened through the static functions, which block until the box is
// closed; terminate() closes the open one from outside.
class MsgBox : public QDialog
{
    Q_OBJECT

public:
    MsgBox(QWidget *parent, const QString &message, const QString &caption, bool isError,
           bool detailsAvailable);
    ~MsgBox() override;

    static void showInfo(QWidget *parent, const QString &caption, const QString &message);
    static void showError(QWidget *parent, const QString &caption, const QString &message);
    static void showErrorWithDetail(QWidget *parent, const QString &caption,
                                    const QString &message, const QString &details);
    // A message fit for the user is shown as it stands; anything else as the
    // general message with the whole exception chain as details.
    static void showError(QWidget *parent, const QString &caption, const AppException &e);
    static bool showsMessageAlone(const AppException &e);

    // Cancels the box that is open, if any.
    static void terminate();

    void setDetailsAvailable(bool available);
    void setDetailsVisible(bool visible);

private slots:
    void on_buttonBox_clicked(QAbstractButton *button);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    static void runModal(MsgBox *box);
    QAbstractButton *detailsButton() const;

    std::unique_ptr<Ui::MsgBox> m_ui;
    bool m_detailsAvailable = false;
    bool m_detailsVisible = false;

    static QPointer<MsgBox> s_currentMsgBox;
};
