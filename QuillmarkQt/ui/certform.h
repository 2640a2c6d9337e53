#pragma once

#include "configuration.h"
#include "pkcs11certcontainer.h"
#include "pkcs11certstore.h"
#include "x509certificate2ultra.h"

#include <QFutureWatcher>
#include <QList>
#include <QSharedPointer>
#include <QMainWindow>
#include <QStringList>

#include <memory>

class AppException;
class PinFormPrompt;
class PinPrompt;
class QTreeWidgetItem;
class WaitDialog;

namespace Ui {
class CertForm;
}

// The window in which the user picks the signing certificate: the usable
// stores in a combo box, the tokens of the chosen store with their
// certificates as a tree (listed on a worker thread behind the wait panel),
// and the properties of the clicked token or certificate.
class CertForm : public QMainWindow
{
    Q_OBJECT

public:
    CertForm(QWidget *parent, const QList<Pkcs11CertStore> &stores, bool filterOnlyValid,
             bool filterOnlyQualified, const Configuration &configuration);
    ~CertForm() override;

    Configuration getConfiguration() const;
    X509Certificate2Ultra getSelectedCertificate() const;

signals:
    void certificateChosen();
    void configurationSet();
    void closeWaitDialog();
    void windowShown();

private slots:
    void afterWindowIsShown();
    void on_comboBoxStore_currentIndexChanged(int comboIndex);
    void on_btnBrowse_clicked();
    void moduleChosen(const QString &path);
    void on_btnRefresh_clicked();
    void on_treeWidgetCertificates_itemClicked(QTreeWidgetItem *item, int column);
    void on_treeWidgetCertificates_itemDoubleClicked(QTreeWidgetItem *item, int column);
    void on_btnOk_clicked();
    void on_btnCancel_clicked();
    void hideWaitDialog();
    void showListing(int resultIndex);
    void setConfiguration();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Index into m_stores of the current combo item; -1 when none.
    int selectedStoreIndex() const;
    bool listingRuns() const;
    void browseForModuleFile();
    void startListing();
    struct Listing
    {
        QList<Pkcs11CertContainer> containers;
        QSharedPointer<const AppException> failure;
    };
    // Runs on a worker thread and may outlive the window: it has copies of
    // what it needs and reports through the watcher, which goes with the
    // window.
    static Listing refreshCertStore(const Pkcs11CertStore &store, PinPrompt &pinPrompt);
    void clearDetails();
    void populateTreeView(const QList<Pkcs11CertContainer> &list);
    QTreeWidgetItem *addContainerItem(int index, const Pkcs11CertContainer &container);
    bool isShown(const X509Certificate2Ultra &certificate) const;
    void selected(const QStringList &values, bool isCertificate);
    void showWaitDialog(const QString &text);
    void showListingWaitDialog();

    static QString tokenTitle(const Pkcs11CertContainer &container);
    static QStringList tokenValues(const Pkcs11CertContainer &container);
    static QStringList certificateValues(const X509Certificate2Ultra &certificate);

    std::unique_ptr<Ui::CertForm> m_ui;
    QFutureWatcher<Listing> *m_watcher;
    // The prompt of the running listing, withdrawn when the window goes.
    std::shared_ptr<PinFormPrompt> m_listingPrompt;
    const bool m_filterOnlyValid;
    const bool m_filterOnlyQualified;
    X509Certificate2Ultra m_selectedCertificate;
    QList<Pkcs11CertStore> m_stores;
    WaitDialog *m_waitDialog = nullptr;
    QList<Pkcs11CertContainer> m_containers;
    int m_selectedContainer = -1;
    QList<QList<X509Certificate2Ultra>> m_shownCertificates;
    Configuration m_configuration;
};
