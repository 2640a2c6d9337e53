#pragma once

#include "pendinganswer.h"

#include <QDialog>
#include <QPointer>
#include <QQueue>
#include <QString>

#include <functional>
#include <memory>

class AppException;
class QAbstractButton;

namespace Ui {
class MsgBox;
}

// The one information and error box of quillmark. Errors may carry a
// technical text in a details pane that the user unfolds with the Help button.
// Boxes are opened through the static functions, which return at once: the
// box is application-modal and the event loop keeps serving the page. One box
// is shown at a time; the next waits for it, and boxes beyond
// maxWaitingBoxes are only logged. `then` runs once the box has been closed,
// or at once when it is not shown; never when its parent's window is gone
// (deleted or hidden) by then, and a box for such a window never opens. The
// answer of the page call that opened a box goes out after `then` has run.
// Each returns the box when it opened at once, none when it waits or is not
// shown.
// terminate() closes the open box and forgets the waiting ones.
class MsgBox : public QDialog
{
    Q_OBJECT

public:
    using Continuation = std::function<void()>;

    // Enough for the few distinct errors one step of a workflow can raise;
    // a page that makes a box per call must not pile up thousands.
    static constexpr int maxWaitingBoxes = 8;

    MsgBox(QWidget *parent, const QString &message, const QString &caption, bool isError,
           bool detailsAvailable);
    ~MsgBox() override;

    static MsgBox *showInfo(QWidget *parent, const QString &caption, const QString &message,
                         Continuation then = {});
    static MsgBox *showError(QWidget *parent, const QString &caption, const QString &message,
                          Continuation then = {});
    static MsgBox *showErrorWithDetail(QWidget *parent, const QString &caption,
                                    const QString &message, const QString &details,
                                    Continuation then = {});
    // A message fit for the user is shown as it stands; anything else as the
    // general message with the whole exception chain as details.
    static MsgBox *showError(QWidget *parent, const QString &caption, const AppException &e,
                          Continuation then = {});
    static bool showsMessageAlone(const AppException &e);

    // The box on screen, if any.
    static MsgBox *current();
    // Cancels the box that is open, if any, and drops the waiting ones.
    static void terminate();

    void setDetailsAvailable(bool available);
    void setDetailsVisible(bool visible);

private slots:
    void on_buttonBox_clicked(QAbstractButton *button);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Request
    {
        QPointer<QWidget> parent;
        bool hasParent = false;
        QString caption;
        QString message;
        QString details;
        bool isError = false;
        bool detailsAvailable = false;
        Continuation then;
        // Keeps the answer of the page call that opened the box.
        PendingAnswer::Hold answerHold;

        // The window it was opened for is deleted or no longer shown: the
        // box is not shown, and its continuation does not run.
        bool windowGone() const;
    };

    static MsgBox *present(Request request);
    static MsgBox *open(Request request);
    static void finish(Request &request);
    static void openNext();
    QAbstractButton *detailsButton() const;
    // Ends a box that finished: Qt 6 sends no close event to a box that is
    // already hidden, Qt 5 does, so both ways end here.
    void endFinished();
    void logClosing();

    std::unique_ptr<Ui::MsgBox> m_ui;
    bool m_detailsAvailable = false;
    bool m_detailsVisible = false;
    bool m_closingLogged = false;

    static QPointer<MsgBox> s_currentMsgBox;
    static QQueue<Request> s_waiting;
};
